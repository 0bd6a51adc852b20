#include "connection/connection_record.h"

#include <gtest/gtest.h>

using namespace makeddl::connection;

TEST(ConnectionRecord, WindowsAndSqlRecordsHaveTheStoredShape) {
  EXPECT_EQ(connectionRecord({"pubs", "DBSRV", "ignored", "ignored", true}), "pubs;DBSRV;NT;sa;123;");
  EXPECT_EQ(connectionRecord({"pubs", "DBSRV", "sa", "", false}), "pubs;DBSRV;SQL;sa;;");
  EXPECT_EQ(connectionRecord({"pubs", "DBSRV", "tom", "pw", false}), "pubs;DBSRV;SQL;tom;pw;");
}

TEST(ConnectionRecord, LabelsNeverHoldThePassword) {
  EXPECT_EQ(connectionLabel({"pubs", "DBSRV", "", "", true}), "Server=DBSRV ; DB_Name=pubs ; Lonin=NT ; User_Name=sa");
  EXPECT_EQ(connectionLabel({"pubs", "DBSRV", "tom", "secret", false}),
            "Server=DBSRV ; DB_Name=pubs ; Lonin=SQL ; User_Name=tom");
}

TEST(ConnectionRecord, PlainRecordsReadAsTheyAlwaysDid) {
  EXPECT_EQ(parseConnectionRecord("pubs;DBSRV;NT;sa;123;"), (LoginParameters{"pubs", "DBSRV", "sa", "123", true}));
  EXPECT_EQ(parseConnectionRecord("pubs;DBSRV;SQL;sa;;"), (LoginParameters{"pubs", "DBSRV", "sa", "", false}));
  // Only exactly "NT" means Windows login.
  EXPECT_FALSE(parseConnectionRecord("pubs;DBSRV;nt;sa;1;").windowsLogin);
  // Percent signs in a plain record are taken as they stand.
  EXPECT_EQ(parseConnectionRecord("db;srv;SQL;u;50%3B;").password, "50%3B");
  EXPECT_EQ(parseConnectionRecord("db;host\\inst;SQL;u;p;").server, "host\\inst");
}

TEST(ConnectionRecord, ValuesWithSemicolonsOrPercentSignsReadBackExactly) {
  const LoginParameters login{"my;db", "srv", "u%1", "p;;w%3B", false};
  const std::string record = connectionRecord(login);
  EXPECT_EQ(record, "my%3Bdb;srv;SQL;u%251;p%3B%3Bw%253B;%");
  EXPECT_EQ(parseConnectionRecord(record), login);
}

TEST(ConnectionRecord, ARecordWithFewerThanFivePiecesIsRefused) {
  EXPECT_THROW(parseConnectionRecord(""), std::invalid_argument);
  EXPECT_THROW(parseConnectionRecord("Server=x ; DB_Name=y"), std::invalid_argument);
  EXPECT_THROW(parseConnectionRecord("a;b;c;d"), std::invalid_argument);
  EXPECT_NO_THROW(parseConnectionRecord("a;b;c;d;e"));
}
