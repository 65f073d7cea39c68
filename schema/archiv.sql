-- Archive template "archiv", at schema version 68.

create table dbv (val integer);

§ARCHIVED_TABLES§;

-- Runs of the archiving, one row per run.
create table archist (
  datum integer,
  pidlist §MEMO§
);

-- Patient notes of old archives; moved into "data" at start.
create table notizen (
  nid integer,
  pid integer,
  aid integer,
  datum integer,
  notiz §MEMO§
);

-- What the prescription table of old archives keeps after version 32.
create table rezepte (
  pzn integer,
  flags integer
);

create index old_pkey on abrechnungen (aid, pid, datum);
create unique index i_pk_abrechnungen on abrechnungen (zid);
create index old_pkey_dg on diagnosen (aid, pid, datum, code, sid);
create unique index i_pk_diagnosen on diagnosen (did);
