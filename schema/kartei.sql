-- Patient file "kartei": the entries of the patient file in table "data".

create table data (
  did integer,
  pid integer,
  aid integer,
  cid integer,
  datum timestamp,
  txt §MEMO§,
  flags integer,
  deleted integer,
  created integer
);

create index i_data_pid on data (pid);
