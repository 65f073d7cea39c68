-- Drug documentation "ifap".

create table docmed (
  aid integer,
  pid integer,
  datum integer,
  dauermedikament integer,
  zuletztverschrieben integer,
  pzn integer,
  verschreibungsanzahl integer
);

create index i_docmed_pid on docmed (pid);
