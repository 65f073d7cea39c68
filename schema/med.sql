-- Medication history "med".

create table medhistory (
  mhid integer,
  pid integer,
  aid integer,
  datum integer,
  pzn integer,
  praeparat §VARCHAR§(100),
  dosierung §VARCHAR§(40),
  menge §DOUBLE§,
  dauer §BOOL§,
  verordnet timestamp
);

create index i_medhistory_pid on medhistory (pid);
