-- The main Velunda database of a practice whose schema has moved on since
-- its archive was made: tamaro-mkpractice --apply velunda-changes applies it
-- to a practice's data.fdb or data.mdb, for tests of the schema
-- synchronisation. Each change stands for one kind of difference.

-- New columns: a text, a memo and an amount with cents.
alter table patienten add column zweitname §VARCHAR§(40);
alter table felder add column kommentar §MEMO§;
alter table abrechnungen add column zuzahlung §MONEY§;

-- A wider text column.
alter table patienten alter column bemerkung §VARCHAR§(120);

-- A dropped column: the archive is then the only one to have it.
alter table termine drop erschienen;

-- Values in the changed columns, so that a transfer carries them.
update patienten set zweitname = 'Zweitname', bemerkung = 'Bemerkung über achtzig Zeichen ........................................................ Ende';
update felder set kommentar = 'Kommentar';
update abrechnungen set zuzahlung = 12.34;
