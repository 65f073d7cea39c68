-- Main practice database "data".

create table dbv (val integer);

create table patienten (
  pid integer not null,
  aid integer,
  aufnahmedatum integer,
  familienstand integer,
  geburtsdatum §VARCHAR§(10),
  geschlecht integer,
  kartengueltigkeit integer,
  kid integer,
  land §VARCHAR§(40),
  lvorlage integer,
  nachname §VARCHAR§(60),
  namenszusatz §VARCHAR§(20),
  ort §VARCHAR§(60),
  plz §VARCHAR§(10),
  statuszusatz §VARCHAR§(10),
  strasse §VARCHAR§(60),
  hausnummer §VARCHAR§(10),
  vorsatzwort §VARCHAR§(20),
  anschriftzusatz §VARCHAR§(60),
  titel §VARCHAR§(30),
  versichertennummer §VARCHAR§(20),
  versichertenstatus integer,
  vknr integer,
  vorname §VARCHAR§(60),
  privatpatient integer,
  kassenname §VARCHAR§(60),
  bereiche integer,
  entbindung integer,
  ktab integer,
  hinweise integer,
  gordnung §BYTE§,
  unfall §BYTE§,
  lastchange integer,
  inaktiv §BOOL§,
  pkasse integer,
  wartestart integer,
  bild §VARCHAR§(255),
  doc1 integer,
  doc2 integer,
  doc3 integer,
  doc4 integer,
  doc5 integer,
  kuerzel §VARCHAR§(10),
  bgid integer,
  bgname §VARCHAR§(60),
  kat1 integer,
  kat2 integer,
  kat3 integer,
  kat4 integer,
  kat5 integer,
  kat6 integer,
  bericht integer,
  gkv_anid integer,
  bemerkung §VARCHAR§(80),
  primary key (pid)
);

create table abrechnungen (
  zid §COUNTER§,
  pid integer,
  aid integer,
  sid integer,
  datum integer,
  ziffer §VARCHAR§(12),
  anzahl smallint,
  multiplikator integer,
  faktor §DOUBLE§,
  betrag §MONEY§,
  gordnung integer,
  abrechnung integer,
  extra §MEMO§
);

create table diagnosen (
  did §COUNTER§,
  pid integer,
  aid integer,
  sid integer,
  datum integer,
  code §VARCHAR§(12),
  sicherheit char(1),
  seite char(1),
  dauerdiagnose §BOOL§,
  notiz §MEMO§,
  deleted integer,
  created integer,
  rid integer
);

create table scheine (
  sid integer,
  pid integer,
  aid integer,
  quartal integer,
  datum integer,
  ausstellung date,
  scheinart smallint,
  gordnung integer,
  vknr integer,
  kassenname §VARCHAR§(60),
  extra §MEMO§
);

create table termine (
  tid integer,
  pid integer,
  aid integer,
  datum date,
  zeit time,
  dauer smallint,
  "text" §MEMO§,
  erstellt timestamp,
  erschienen §BOOL§
);

create table kontingente (
  kid integer,
  pid integer,
  aid integer,
  ziffer §VARCHAR§(12),
  anzahl integer,
  verbraucht integer,
  antragsdatum §VARCHAR§(12),
  gueltigbis date
);

create table felder (
  fid integer,
  pid integer,
  feld §VARCHAR§(40),
  wert §VARCHAR§(255),
  "update" integer,
  kennung §BIGINT§
);

create table havg_pat (
  pid integer,
  vertrag integer,
  vertretung integer,
  quartal integer
);

create table havg_patextra (
  pid integer,
  lastchg integer,
  erwerbstaetig integer,
  wochenstunden integer,
  beruf §VARCHAR§(60),
  geistig integer,
  sitzend integer,
  besonderheiten §VARCHAR§(255)
);

create table pat_kontakt (
  kid integer,
  pid integer,
  typ §VARCHAR§(30),
  val §VARCHAR§(100)
);

create table itemhist (
  vid integer,
  iid integer,
  ityp integer,
  ifmt integer,
  pid integer,
  aid integer,
  lid integer,
  datum integer,
  txt §MEMO§
);

create table recall (
  recallid integer,
  datum integer,
  pid integer,
  aid integer,
  ident §VARCHAR§(20),
  title §VARCHAR§(100),
  txt §MEMO§
);

create table terminnotiz (
  tid integer not null,
  pid integer not null,
  notiz §MEMO§
);

create table dmp_form (
  dmpid integer not null,
  pid integer,
  aid integer,
  sid integer,
  bsnr integer,
  lanr integer,
  formid integer,
  datum integer,
  abrechnung integer,
  fehlerhaft integer,
  gedruckt integer,
  empfaenger integer,
  version integer,
  content §MEMO§,
  primary key (dmpid)
);

create table dmp_pat (
  dpatid integer,
  pid integer,
  fallnummer §VARCHAR§(10),
  art integer,
  datum integer,
  empfaenger integer,
  flags integer
);

create table pat_unfall (
  uid integer not null,
  pid integer,
  bgid integer,
  tarif integer,
  datum integer,
  persunfall integer,
  unfallort §VARCHAR§(60),
  betrieb §VARCHAR§(60),
  bstrasse §VARCHAR§(60),
  bplz §VARCHAR§(10),
  bort §VARCHAR§(60),
  btel §VARCHAR§(30),
  berichtnr §VARCHAR§(20),
  aktenzeichen §VARCHAR§(20),
  ansprechpartner §VARCHAR§(60),
  unfallhergang §MEMO§,
  eingetroffen integer,
  primary key (uid)
);

create table re_rechnungen (
  rid integer,
  pid integer,
  aid integer,
  nummer integer,
  datum integer,
  status integer,
  betrag §MONEY§
);

create table passwd (
  lid integer not null,
  login §VARCHAR§(30),
  passwort §VARCHAR§(30),
  aid integer,
  deleted integer,
  primary key (lid)
);

create table uac_token (
  tid integer not null,
  name §VARCHAR§(60),
  primary key (tid)
);

create table uac_gruppen (
  gid integer not null,
  name §VARCHAR§(60),
  primary key (gid)
);

create table uac_lid2gid (
  lid integer,
  gid integer
);

create table uac_tid2gid (
  tid integer,
  gid integer
);

create table log (
  mid integer,
  lid integer,
  aid integer,
  pid integer,
  datum integer,
  kategorie integer,
  art integer,
  intval1 integer,
  intval2 integer,
  intval3 integer,
  client §VARCHAR§(255),
  notiz §VARCHAR§(255)
);

create table arzt (
  aid integer not null,
  arten integer,
  titel §VARCHAR§(30),
  name §VARCHAR§(60),
  vorname §VARCHAR§(60),
  kuerzel §VARCHAR§(10),
  lanr integer,
  bsnr integer,
  primary key (aid)
);

create index i_abrechnungen_pid on abrechnungen (pid);
-- The services of a billing record, and the unbilled services: the patient
-- list looks for both among all services of the practice.
create index i_abrechnungen_sid on abrechnungen (sid);
create index i_abrechnungen_abrechnung on abrechnungen (abrechnung);
create index i_diagnosen_pid on diagnosen (pid);
create index i_scheine_pid on scheine (pid);
create index i_termine_pid on termine (pid);
