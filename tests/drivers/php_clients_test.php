<?php
// Both drivers as PHP's PDO_ODBC (Debian's php-odbc) sees them at its default
// settings (the driver manager's cursor library "if needed"), through
// unixODBC with ODBCSYSINI from ctest: a read-modify-write session with
// German text, long values sent at execution time, a transaction committed
// and one rolled back, a scrolling cursor, escape sequences, and the
// driver manager never wrapping the driver in its cursor library. Then the
// odbc_* functions of the same package at their default settings (a static
// cursor read with SQLExtendedFetch): odbc_fetch_row, odbc_result,
// odbc_fetch_array and a row by number.
// PHP keeps the C locale, so the data source says CHARSET=UTF8 for its
// UTF-8 strings.

$passed = 0;
$failed = 0;

function check($kind, $what, $expected, $actual)
{
    global $passed, $failed;
    if ($expected === $actual) {
        $passed++;
        return;
    }
    $failed++;
    fwrite(STDERR, "$kind: $what: expected " . var_export($expected, true) . ", got "
        . var_export($actual, true) . "\n");
}

function memoryStream($text)
{
    $stream = fopen('php://memory', 'r+');
    fwrite($stream, $text);
    rewind($stream);
    return $stream;
}

$dir = sys_get_temp_dir() . '/tamaro-php-' . getmypid();
mkdir($dir);
mkdir("$dir/lock");
putenv("FIREBIRD_LOCK=$dir/lock");

$kinds = [
    'Firebird' => [
        "odbc:DRIVER=Firebird/InterBase(r) driver;DBNAME=$dir/php.fdb;UID=SYSDBA;"
            . "PWD=tilvormex;CHARSET=UTF8;CREATEDB=1",
        'varchar(60)', 'blob sub_type text', 'date',
    ],
    'Access' => [
        "odbc:Driver={Microsoft Access Driver (*.mdb)};Dbq=$dir/php.mdb;CHARSET=UTF8;CREATEDB=1",
        'text(60)', 'memo', 'datetime',
    ],
];

foreach ($kinds as $kind => [$dsn, $varchar, $memo, $date]) {
    try {
        $db = new PDO($dsn, null, null, [PDO::ATTR_ERRMODE => PDO::ERRMODE_EXCEPTION]);
        $db->exec("create table kunden (id integer, name $varchar, ort $varchar, "
            . "notiz $memo, seit $date)");
        $insert = $db->prepare('insert into kunden (id, name, ort, notiz, seit) values (?, ?, ?, ?, ?)');
        $rows = [
            [1, 'Müller', 'Köln', 'Grüße aus der Domstadt', '2004-03-31'],
            [2, 'Weiß', 'Düsseldorf', 'Altbier, nicht Kölsch', '2010-07-01'],
            [3, 'Strauß', 'München', str_repeat('Weißwürste vor zwölf. ', 5000), '2020-02-29'],
        ];
        foreach ($rows as $row) {
            $insert->execute($row);
        }
        check($kind, 'umlauts stored as characters', '6',
            (string) $db->query("select {fn LENGTH(name)} from kunden where id = 1")->fetchColumn());

        // Read, modify and write back in one transaction.
        $db->beginTransaction();
        $select = $db->prepare('select id, name, notiz from kunden where ort = ?');
        $select->execute(['Köln']);
        $row = $select->fetch(PDO::FETCH_NUM);
        $select->closeCursor();
        check($kind, 'row read by an umlaut', ['1', 'Müller', 'Grüße aus der Domstadt'],
            array_map('strval', $row));
        $update = $db->prepare('update kunden set notiz = ?, name = ? where id = ?');
        $note = memoryStream($row[2] . ' – geändert');
        $update->bindParam(1, $note, PDO::PARAM_LOB);
        $update->bindValue(2, 'Müller-Lüdenscheidt');
        $update->bindValue(3, 1, PDO::PARAM_INT);
        $update->execute();
        $db->commit();
        check($kind, 'written back', ['Müller-Lüdenscheidt', 'Grüße aus der Domstadt – geändert'],
            array_map('strval', $db->query('select name, notiz from kunden where id = 1')
                ->fetch(PDO::FETCH_NUM)));

        // A query whose parameter comes at execution time, fetched at once.
        $query = $db->prepare('select id, notiz from kunden where name = ?');
        $name = memoryStream('Strauß');
        $query->bindParam(1, $name, PDO::PARAM_LOB);
        $query->execute();
        $found = $query->fetchAll(PDO::FETCH_NUM);
        check($kind, 'query with a value sent at execution', 1, count($found));
        check($kind, 'long value read whole', str_repeat('Weißwürste vor zwölf. ', 5000),
            (string) $found[0][1]);

        // A transaction rolled back leaves everything as it was.
        $db->beginTransaction();
        $db->exec('delete from kunden where id = 3');
        $db->rollBack();
        check($kind, 'rolled back', '3', (string) $db->query('select count(*) from kunden')->fetchColumn());

        // A scrolling cursor.
        $scroll = $db->prepare('select id, ort from kunden order by id',
            [PDO::ATTR_CURSOR => PDO::CURSOR_SCROLL]);
        $scroll->execute();
        $ids = [];
        foreach ([[PDO::FETCH_ORI_LAST, 0], [PDO::FETCH_ORI_FIRST, 0], [PDO::FETCH_ORI_ABS, 2],
                  [PDO::FETCH_ORI_PRIOR, 0], [PDO::FETCH_ORI_REL, 2]] as [$orientation, $offset]) {
            $ids[] = (string) $scroll->fetch(PDO::FETCH_NUM, $orientation, $offset)[0];
        }
        check($kind, 'scrolled', ['3', '1', '2', '1', '3'], $ids);

        // Escape sequences.
        check($kind, 'date escape', '1', (string) $db->query(
            "select count(*) from kunden where seit = {d '2004-03-31'}")->fetchColumn());
        check($kind, 'scalar function', 'KÖLN', (string) $db->query(
            "select {fn UCASE(ort)} from kunden where id = 1")->fetchColumn());
    } catch (PDOException $e) {
        $failed++;
        fwrite(STDERR, "$kind: " . $e->getMessage() . "\n");
    }
    $db = null;
}

$odbcKinds = [
    'Firebird' => "DRIVER=Firebird/InterBase(r) driver;DBNAME=$dir/php.fdb;UID=SYSDBA;"
        . "PWD=tilvormex;CHARSET=UTF8",
    'Access' => "Driver={Microsoft Access Driver (*.mdb)};Dbq=$dir/php.mdb;CHARSET=UTF8",
];
foreach ($odbcKinds as $kind => $dsn) {
    $c = odbc_connect($dsn, '', '');
    if (!$c) {
        check($kind, 'odbc_connect', '', odbc_errormsg());
        continue;
    }
    $query = 'select id, name from kunden order by id';
    $r = odbc_exec($c, $query);
    $rows = [];
    while (odbc_fetch_row($r)) {
        $rows[] = odbc_result($r, 1) . ' ' . odbc_result($r, 'name');
    }
    check($kind, 'odbc_fetch_row and odbc_result', ['1 Müller-Lüdenscheidt', '2 Weiß', '3 Strauß'],
        $rows);
    $r = odbc_exec($c, $query);
    $arrays = [];
    while ($a = odbc_fetch_array($r)) {
        $arrays[] = array_values($a);
    }
    check($kind, 'odbc_fetch_array', [['1', 'Müller-Lüdenscheidt'], ['2', 'Weiß'], ['3', 'Strauß']],
        $arrays);
    $r = odbc_exec($c, $query);
    check($kind, 'row 3 by number', true, odbc_fetch_row($r, 3));
    check($kind, 'row 3 read', 'Strauß', odbc_result($r, 2));
    check($kind, 'row 1 by number', true, odbc_fetch_row($r, 1));
    check($kind, 'row 1 read', '1', odbc_result($r, 1));
    check($kind, 'no row 4', false, odbc_fetch_row($r, 4));
    odbc_free_result($r);
    odbc_close($c);
}

check('both', 'cursor library never loaded', false,
    strpos(file_get_contents('/proc/self/maps'), 'libodbccr') !== false);

foreach (glob("$dir/*") as $file) {
    if (is_dir($file)) {
        array_map('unlink', glob("$file/*"));
        rmdir($file);
    } else {
        unlink($file);
    }
}
rmdir($dir);
echo "$passed passed, $failed failed\n";
exit($failed ? 1 : 0);
