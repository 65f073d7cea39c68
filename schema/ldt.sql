-- Laboratory data "ldt".

create table ldtbericht (
  bid integer,
  pid integer,
  aid integer,
  datum integer,
  labor §VARCHAR§(60),
  anforderung §VARCHAR§(20),
  eingang timestamp,
  abnahme date,
  befund §MEMO§
);

create table ldtnummer (
  autoid §COUNTER§,
  pid integer,
  nummer §VARCHAR§(20),
  datum integer
);

create index i_ldtbericht_pid on ldtbericht (pid);
create index i_ldtnummer_pid on ldtnummer (pid);
