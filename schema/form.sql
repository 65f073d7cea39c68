-- Printed forms "form".

create table ausdrucke (
  adid integer,
  pid integer,
  aid integer,
  datum integer,
  formular §VARCHAR§(40),
  age integer,
  kopien smallint,
  gedruckt timestamp,
  inhalt §MEMO§
);

create index i_ausdrucke_pid on ausdrucke (pid);
