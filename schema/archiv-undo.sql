-- The archive template taken back to older schema versions, so that the
-- version ladder can be tried on archives of older releases. Each block
-- undoes one step of the ladder, newest first: "§STEP n§" begins the
-- statements that take version n + 1 back to version n (a step that only
-- moved data has an empty block). An archive of version v is the template
-- with every block from 67 down to v applied.
--
-- Archives below version 47 exist only as Access files: those blocks use the
-- Access dialect (bracketed names, text(n), memo). The Firebird archives of
-- the older releases declare the domain memo, which the ladder's plain
-- "memo" columns need; tamaro-mkpractice adds it to every old Firebird
-- archive.

§STEP 67§;
alter table abrechnungen drop multiplikator;
alter table abrechnungen add multiplikator smallint;

§STEP 66§;
drop table pat_unfall;

§STEP 65§;
drop table dmp_form;

§STEP 64§;
drop table dmp_pat;

§STEP 63§;
drop table terminnotiz;

§STEP 62§;
drop table recall;

§STEP 61§;
§STEP 60§;
alter table abrechnungen drop extra;

§STEP 59§;
§STEP 58§;
alter table diagnosen drop rid;

§STEP 57§;
§STEP 56§;
alter table data drop created;

§STEP 55§;
§STEP 54§;
alter table diagnosen drop created;

§STEP 53§;
§STEP 52§;
alter table diagnosen drop deleted;

§STEP 51§;
§STEP 50§;
alter table data drop deleted;

§STEP 49§;
drop table itemhist;

§STEP 48§;
drop table pat_kontakt;

§STEP 47§;
drop table havg_patextra;

§STEP 46§;
drop table havg_pat;

§STEP 45§;
drop index i_pk_diagnosen on diagnosen;
alter table diagnosen drop column did;

§STEP 44§;
drop index old_pkey_dg on diagnosen;

§STEP 43§;
alter table diagnosen add constraint primarykey primary key (aid, pid, datum, code, sid);

§STEP 42§;
drop index i_pk_abrechnungen on abrechnungen;
alter table abrechnungen drop column zid;

§STEP 41§;
drop index old_pkey on abrechnungen;

§STEP 40§;
alter table abrechnungen add constraint primarykey primary key (aid, pid, datum);

§STEP 39§;
drop table data;

§STEP 38§;
alter table kassenbuch add column [text] text(255);

§STEP 37§;
update kassenbuch set [text] = titel;

§STEP 36§;
alter table kassenbuch drop column titel;

§STEP 35§;
alter table notizen add column [text] memo;

§STEP 34§;
update notizen set [text] = notiz;

§STEP 33§;
alter table notizen drop column notiz;

§STEP 32§;
alter table rezepte add column dauermedikament integer;

§STEP 31§;
alter table rezepte add column zuletztverschrieben integer;

§STEP 30§;
alter table rezepte add column verschreibungsanzahl integer;

§STEP 29§;
alter table rezepte add column anzahl integer;

§STEP 28§;
alter table rezepte add column aid integer;

§STEP 27§;
alter table rezepte add column pid integer;

§STEP 26§;
alter table rezepte add column mid integer;

§STEP 25§;
alter table rezepte add constraint primarykey primary key (mid);

§STEP 24§;
alter table rezepte add column f2 text(10);

§STEP 23§;
alter table rezepte add column f1 text(10);

§STEP 22§;
§STEP 21§;
drop table docmed;

§STEP 20§;
alter table rezepte drop column flags;

§STEP 19§;
alter table ausdrucke add column [alter] integer;

§STEP 18§;
update ausdrucke set [alter] = age;

§STEP 17§;
alter table ausdrucke drop column age;

§STEP 16§;
alter table scheine add column kzo3 text(20);

§STEP 15§;
§STEP 14§;
alter table scheine add column kzo1 text(20);

§STEP 13§;
§STEP 12§;
§STEP 11§;
§STEP 10§;
alter table scheine drop column extra;

§STEP 9§;
§STEP 8§;
alter table kontingente drop column antragsdatum;

§STEP 7§;
alter table patienten add column [update] integer;

§STEP 6§;
update patienten set [update] = lastchange;

§STEP 5§;
alter table patienten drop column lastchange;

§STEP 4§;
alter table diagnosen add column [text] text(255);

§STEP 3§;
update diagnosen set [text] = notiz;

§STEP 2§;
alter table diagnosen drop column notiz;

§STEP 1§;
delete from dbv;

§STEP 0§;
drop table dbv;
