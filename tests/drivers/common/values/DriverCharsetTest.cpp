// Text of the narrow functions in the application's character set: UTF-8
// for a program that connects in a UTF-8 locale (isql, Perl, LibreOffice),
// code page 1252 for one that connects in the C locale (Tamaro), and the
// connection key CHARSET above both. The stored text is the same either way.
#include <clocale>
#include <cstring>
#include <functional>

#include "tests/drivers/DriverFixture.h"

namespace drivertest {
namespace {

// Switches the character-type locale for a scope, as a program sets it.
class Locale {
  public:
    explicit Locale(const char* name) : saved_(std::setlocale(LC_CTYPE, nullptr)) {
        EXPECT_NE(nullptr, std::setlocale(LC_CTYPE, name)) << name;
    }
    ~Locale() { std::setlocale(LC_CTYPE, saved_.c_str()); }

  private:
    std::string saved_;
};

class DriverCharset : public DriverFixture {
  protected:
    void SetUp() override {
        DriverFixture::SetUp();
        const char q = IsFirebird() ? '"' : '[', qe = IsFirebird() ? '"' : ']';
        quoted = [q, qe](const std::string& name) { return q + name + qe; };
        st->MustExec("create table k (ort " + Varchar(40) + ", " + quoted("N\xE4me") + " " +
                     Varchar(60) + ")");
        st->MustExec("insert into k (ort) values ('K\xF6ln')");
    }
    std::string With(const std::string& key) const {
        std::string cs = P().connectString(file, false);
        return cs + (cs.back() == ';' ? "" : ";") + key;
    }
    // A connection made in `locale`, the driver manager's handles included.
    std::unique_ptr<OdbcConn> Connect(const char* locale, const std::string& key = "") {
        Locale in(locale);
        auto c = std::make_unique<OdbcConn>();
        SQLRETURN rc = c->Connect(key.empty() ? P().connectString(file, false) : With(key));
        EXPECT_TRUE(SQL_SUCCEEDED(rc)) << Diag(SQL_HANDLE_DBC, c->dbc);
        return c;
    }
    std::function<std::string(const std::string&)> quoted;
};

TEST_P(DriverCharset, NarrowTextIsUtf8ForAProgramInAUtf8Locale) {
    auto utf8 = Connect("C.UTF-8");
    OdbcStmt s(*utf8);
    EXPECT_EQ("K\xC3\xB6ln", s.Scalar("select ort from k"));
    EXPECT_EQ("1", s.Scalar("select count(*) from k where ort = 'K\xC3\xB6ln'"));
    s.MustExec("insert into k (ort, " + quoted("N\xC3\xA4me") +
               ") values ('D\xC3\xBCsseldorf', 'J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F')");
    // The program's connection reads the same text in code page 1252.
    EXPECT_EQ("J\xFCrgen Gr\xF6\xDF",
              st->Scalar("select " + quoted("N\xE4me") + " from k where ort = 'D\xFCsseldorf'"));

    // Names, parameters and pieces of a value in UTF-8; each cut piece fills
    // its buffer, as clients that read in pieces expect.
    s.MustExec("select " + quoted("N\xC3\xA4me") + " from k where ort = 'D\xC3\xBCsseldorf'");
    SQLCHAR name[16] = {};
    SQLSMALLINT length = 0, type, digits, nullable;
    SQLULEN size;
    ASSERT_EQ(SQL_SUCCESS,
              SQLDescribeCol(s.h, 1, name, sizeof name, &length, &type, &size, &digits, &nullable));
    EXPECT_STREQ("N\xC3\xA4me", reinterpret_cast<char*>(name));
    EXPECT_EQ(5, length);
    // Text is described with the wide types, so that clients may read it as
    // UTF-16, in pieces that never cut a character.
    EXPECT_EQ(SQL_WVARCHAR, type);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(s.h));
    std::string whole;
    char piece[4];
    SQLLEN indicator = 0;
    SQLRETURN rc;
    while ((rc = SQLGetData(s.h, 1, SQL_C_CHAR, piece, sizeof piece, &indicator)) != SQL_NO_DATA) {
        ASSERT_TRUE(SQL_SUCCEEDED(rc));
        if (rc == SQL_SUCCESS_WITH_INFO) {
            EXPECT_EQ(3u, std::strlen(piece));
        }
        whole += piece;
    }
    EXPECT_EQ("J\xC3\xBCrgen Gr\xC3\xB6\xC3\x9F", whole);
    s.Close();
    char city[] = "M\xC3\xBCnchen";
    SQLLEN nts = SQL_NTS;
    SQLBindParameter(s.h, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, city, 0, &nts);
    s.MustExec("insert into k (ort) values (?)");
    SQLFreeStmt(s.h, SQL_RESET_PARAMS);
    EXPECT_EQ("1", st->Scalar("select count(*) from k where ort = 'M\xFCnchen'"));

    // What code page 1252 cannot hold is refused, and so is text that is no
    // UTF-8; the messages, the engine's included, arrive in UTF-8.
    EXPECT_EQ(SQL_ERROR, s.Exec("insert into k (ort) values ('\xC5\x81\xC3\xB3"
                                "d\xC5\xBA')"));
    EXPECT_EQ(
        "22021: The character U+0141 at position 30 cannot be represented in code page "
        "1252, in which the database keeps its text.",
        s.Error());
    EXPECT_EQ(SQL_ERROR, s.Exec("insert into k (ort) values ('K\xF6ln')"));
    EXPECT_EQ("22021: The text is no valid UTF-8 at character 31.", s.Error());
    EXPECT_EQ(SQL_ERROR, s.Exec("select * from " + quoted("G\xC3\xA4ste")));
    EXPECT_NE(std::string::npos, s.Error().find("G\xC3\xA4ste")) << s.Error();
    EXPECT_EQ("3", st->Scalar("select count(*) from k"));
}

TEST_P(DriverCharset, TheCharsetKeyOverridesTheLocale) {
    {
        auto cp1252 = Connect("C.UTF-8", "CHARSET=WIN1252");
        OdbcStmt s(*cp1252);
        EXPECT_EQ("K\xF6ln", s.Scalar("select ort from k"));
    }
    {
        auto utf8 = Connect("C", "CHARSET=UTF8");
        OdbcStmt s(*utf8);
        EXPECT_EQ("K\xC3\xB6ln", s.Scalar("select ort from k"));
    }
    // The program's own connection in the C locale keeps code page 1252.
    auto plain = Connect("C");
    OdbcStmt s(*plain);
    EXPECT_EQ("K\xF6ln", s.Scalar("select ort from k"));

    OdbcConn unknown;
    EXPECT_EQ(SQL_ERROR, unknown.Connect(With("CHARSET=KOI8-R")));
    EXPECT_EQ(
        "08001: Unknown character set 'KOI8-R' in CHARSET: the driver speaks UTF8 or "
        "WIN1252.",
        Diag(SQL_HANDLE_DBC, unknown.dbc));
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverCharset, ::testing::ValuesIn(ProfileNames()),
                         [](const ::testing::TestParamInfo<std::string>& i) { return i.param; });

}  // namespace
}  // namespace drivertest
