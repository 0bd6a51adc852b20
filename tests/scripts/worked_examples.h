#pragma once
// The worked examples of the CREATE script that several tests expect to the character.

#include <string>
#include <vector>

namespace makeddl::scripts::examples {

// t_dept: dept_id int NOT NULL, the key; dept_name varchar(20) with the remark "department name".
inline const std::vector<std::string> kDeptCreateBlock{
    "",
    "----   t_dept",
    "IF EXISTS (select name from sysobjects where name='t_dept' and type='U') DROP TABLE t_dept",
    "",
    "CREATE TABLE t_dept",
    "(",
    "     dept_id    int  NOT NULL ,",
    "     dept_name  varchar (20) ,   --department name",
    "",
    "     PRIMARY KEY (dept_id)",
    ")",
};

// t_log: log_time datetime NOT NULL, msg varchar(200); no key.
inline const std::vector<std::string> kLogCreateBlock{
    "",
    "----   t_log",
    "IF EXISTS (select name from sysobjects where name='t_log' and type='U') DROP TABLE t_log",
    "",
    "CREATE TABLE t_log",
    "(",
    "     log_time  datetime  NOT NULL ,",
    "     msg       varchar (200) ",
    "",
    ")",
};

// The block as the script pane shows it: every line ended by a line break.
inline std::string paneText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace makeddl::scripts::examples
