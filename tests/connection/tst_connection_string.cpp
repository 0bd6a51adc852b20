#include "connection/connection_string.h"

#include <gtest/gtest.h>

using namespace makeddl::connection;

namespace {
LoginParameters sqlLogin(std::string database, std::string server, std::string user, std::string password) {
  return {std::move(database), std::move(server), std::move(user), std::move(password), false};
}
}  // namespace

TEST(OleDbConnectionString, WindowsLoginNamesSaAndNoPassword) {
  const LoginParameters login{"pubs", "DBSRV", "someone", "secret", true};
  EXPECT_EQ(oleDbConnectionString(login, "WS01"),
            "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=sa;"
            "Initial Catalog=pubs;Data Source=DBSRV;Use Procedure for Prepare=1;Auto Translate=True;"
            "Packet Size=4096;Workstation ID=WS01;Use Encryption for Data=False;"
            "Tag with column collation when possible=False");
}

TEST(OleDbConnectionString, SqlLoginStartsWithThePasswordEvenWhenEmpty) {
  EXPECT_EQ(oleDbConnectionString(sqlLogin("", "10.0.0.5,1433", "sa", ""), "WS01"),
            "Provider=SQLOLEDB.1;Password=;Persist Security Info=True;User ID=sa;Initial Catalog=;"
            "Data Source=10.0.0.5,1433;Use Procedure for Prepare=1;Auto Translate=True;Packet Size=4096;"
            "Workstation ID=WS01;Use Encryption for Data=False;Tag with column collation when possible=False");
}

TEST(OleDbConnectionString, AValueWithASemicolonNoLongerSplitsTheString) {
  const std::string text = oleDbConnectionString(sqlLogin("db", "srv", "u", "p;w\"d "), "WS");
  EXPECT_NE(text.find("Password=\"p;w\"\"d \";"), std::string::npos) << text;
  const auto entries = parseOleDbConnectionString(text);
  EXPECT_EQ(entries.at("password"), "p;w\"d ");
  EXPECT_EQ(entries.at("user id"), "u");
  EXPECT_EQ(entries.at("initial catalog"), "db");
}

TEST(OleDbConnectionString, ParsingReadsQuotedAndBareValues) {
  const auto entries = parseOleDbConnectionString(" Data Source = a b ; Password='x;''y'; Empty=;");
  EXPECT_EQ(entries.at("data source"), "a b");
  EXPECT_EQ(entries.at("password"), "x;'y");
  EXPECT_EQ(entries.at("empty"), "");
  EXPECT_THROW(parseOleDbConnectionString("Password=\"open"), std::invalid_argument);
}

TEST(OdbcConnectionString, TranslatesSqlLoginForTheDriver) {
  DriverSettings settings;
  settings.loginTimeoutSeconds = 3;
  const std::string ole = oleDbConnectionString(sqlLogin("pubs", "127.0.0.1,14330", "sa", "pw"), "WS01");
  EXPECT_EQ(odbcConnectionString(ole, settings),
            "DRIVER={FreeTDS};SERVER=127.0.0.1,14330;DATABASE=pubs;UID=sa;PWD=pw;WSID=WS01;"
            "APP=SQL SERVER 工具;TDS_Version=7.1;ClientCharset=UTF-8");
}

TEST(OdbcConnectionString, WindowsLoginIsATrustedConnectionWithoutUserOrPassword) {
  const std::string ole = oleDbConnectionString({"master", "(local)\\SQL2000", "x", "y", true}, "WS01");
  const std::string odbc = odbcConnectionString(ole, DriverSettings{});
  EXPECT_NE(odbc.find(";SERVER=127.0.0.1\\SQL2000;"), std::string::npos) << odbc;
  EXPECT_NE(odbc.find(";Trusted_Connection=Yes;"), std::string::npos) << odbc;
  EXPECT_EQ(odbc.find("UID="), std::string::npos) << odbc;
  EXPECT_EQ(odbc.find("PWD="), std::string::npos) << odbc;
}

TEST(OdbcConnectionString, ValuesThatWouldSplitTheStringAreBraced) {
  EXPECT_EQ(odbcValue("plain"), "plain");
  EXPECT_EQ(odbcValue("a;b"), "{a;b}");
  EXPECT_EQ(odbcValue("x}y{=1"), "x}y{=1");
  EXPECT_EQ(odbcValue("{x"), "{{x}");
  EXPECT_EQ(odbcValue(" lead"), "{ lead}");
  const std::string ole = oleDbConnectionString(sqlLogin("d;b", "srv", "u", "p;}"), "WS");
  const std::string odbc = odbcConnectionString(ole, DriverSettings{});
  EXPECT_NE(odbc.find(";DATABASE={d;b};"), std::string::npos) << odbc;
  EXPECT_NE(odbc.find(";PWD={p;}}};"), std::string::npos) << odbc;
}

// The statement limit is a setting of its own, off unless asked for; the login limit stays.
TEST(DriverSettings, EncryptionIsHandedToTheDriverOnlyWhenSet) {
  const std::string ole = oleDbConnectionString(sqlLogin("pubs", "srv", "sa", "pw"), "WS01");
  unsetenv("MAKEDDL_ENCRYPT");
  EXPECT_EQ(odbcConnectionString(ole, driverSettingsFromEnvironment()).find("Encryption"), std::string::npos);
  setenv("MAKEDDL_ENCRYPT", "Require", 1);
  EXPECT_TRUE(odbcConnectionString(ole, driverSettingsFromEnvironment()).ends_with(";Encryption=require"));
  unsetenv("MAKEDDL_ENCRYPT");
}

TEST(DriverSettings, TheQueryTimeoutIsASeparateSettingOffByDefault) {
  unsetenv("MAKEDDL_QUERY_TIMEOUT");
  setenv("MAKEDDL_LOGIN_TIMEOUT", "7", 1);
  EXPECT_EQ(driverSettingsFromEnvironment().queryTimeoutSeconds, 0);
  EXPECT_EQ(driverSettingsFromEnvironment().loginTimeoutSeconds, 7);
  setenv("MAKEDDL_QUERY_TIMEOUT", "30", 1);
  EXPECT_EQ(driverSettingsFromEnvironment().queryTimeoutSeconds, 30);
  EXPECT_EQ(driverSettingsFromEnvironment().loginTimeoutSeconds, 7);
  unsetenv("MAKEDDL_QUERY_TIMEOUT");
  unsetenv("MAKEDDL_LOGIN_TIMEOUT");
}
