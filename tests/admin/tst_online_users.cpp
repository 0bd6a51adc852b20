// The online-users query as sent.

#include <gtest/gtest.h>

#include "admin/online_users.h"

namespace {

TEST(OnlineUsersQuery, AsSentWithItsBlanks) {
  EXPECT_EQ(
      makeddl::admin::onlineUsersQuery(),
      "select loginame=rtrim(loginame),hostname,program_name,       dbname=case when dbid = 0 then null "
      "when dbid <> 0 then db_name(dbid)end,login_time from  master.dbo.sysprocesses where "
      "ltrim(hostname)<>'' order by hostname ");
}

}  // namespace
