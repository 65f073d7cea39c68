#!/usr/bin/perl
# Perl DBI through Debian's DBD::ODBC, which uses the narrow ODBC functions:
# run by the client tests in a UTF-8 locale with a connection string and the
# kind's long text type; prints what it found, one "key=value" line each.
use strict;
use warnings;
use DBI qw(:sql_types);

my ($cs, $memo) = @ARGV;
binmode STDOUT;
my $dbh = DBI->connect("dbi:ODBC:$cs", undef, undef,
                       {RaiseError => 1, PrintError => 0, AutoCommit => 1});
print "unicode=", ($dbh->{odbc_has_unicode} ? 1 : 0), "\n";
$dbh->do("create table dk (pid integer not null primary key, ort varchar(40), note $memo)");
my $insert = $dbh->prepare("insert into dk (pid, ort, note) values (?, ?, ?)");
$insert->execute(1, "Köln", "x" x 100000);
$insert->execute(2, "Jürgen Größ", undef);
my $rows = $dbh->selectall_arrayref("select pid, ort from dk where ort = ?", undef, "Köln");
print "found=", scalar(@$rows), " ", $rows->[0][1], "\n";
$rows = $dbh->selectall_arrayref("select ort from dk where ort = 'Köln'");
print "literal=", scalar(@$rows), "\n";
$dbh->{LongReadLen} = 200000;
$rows = $dbh->selectall_arrayref("select note from dk where pid = ?", undef, 1);
print "long=", length($rows->[0][0]), "\n";
print "primary_key=", lc(join(",", $dbh->primary_key(undef, undef, "dk"))), "\n";
my $types = $dbh->type_info_all;
print "type_info=", (@$types > 5 && $dbh->type_info(SQL_VARCHAR) ? "yes" : "no"), "\n";
print "quote=", $dbh->quote("O'Brien", SQL_VARCHAR), "\n";
my $columns = $dbh->column_info(undef, undef, '%', '%')->fetchall_arrayref({});
print "columns=", join(",", sort map { lc("$_->{TABLE_NAME}.$_->{COLUMN_NAME}") } @$columns), "\n";
eval { $dbh->do("insert into dk (pid, ort) values (3, 'Łódź')") };
print "refused=", ($DBI::state // ''), "\n";
print "rows=", $dbh->selectrow_array("select count(*) from dk"), "\n";
$dbh->disconnect;
