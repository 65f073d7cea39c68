-- Private invoices "rechnung".

create table rechnungen (
  rid integer,
  pid integer,
  aid integer,
  nummer integer,
  datum integer,
  status integer,
  betrag §MONEY§,
  faellig date,
  mahnstufe smallint,
  belegnr §BIGINT§,
  notiz §MEMO§
);

create index i_rechnungen_pid on rechnungen (pid);
