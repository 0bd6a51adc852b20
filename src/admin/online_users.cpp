#include "admin/online_users.h"

#include "common/strings.h"

namespace makeddl::admin {

std::string onlineUsersQuery() {
  return "select loginame=rtrim(loginame),hostname,program_name,       dbname=case when dbid = 0 then null "
         "when "
         "dbid <> 0 then db_name(dbid)end,login_time from  master.dbo.sysprocesses where ltrim(hostname)<>" +
         quoted("") + " order by hostname ";
}

}  // namespace makeddl::admin
