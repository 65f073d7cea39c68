-- Cash book "kassenbuch".

create table kassenbuch (
  kbid integer,
  pid integer,
  aid integer,
  datum integer,
  titel §VARCHAR§(255),
  betrag §MONEY§,
  mwst §DOUBLE§,
  art smallint,
  gebucht timestamp
);

create index i_kassenbuch_pid on kassenbuch (pid);
