#pragma once
// How the database properties of an activated connection are written.

#include <string>

#include "connection/data_access.h"

namespace makeddl::connection {

// "<physical file> [<logical name>]" from the current row of sp_helpfile.
std::string fileDescription(const DataSet& files);

// The size of the data in kilobytes: "n KB" up to 1024 KB, above that megabytes with two
// decimals and the locale's decimal separator ("1,01 MB").
std::string databaseSizeText(long long kilobytes, char decimalSeparator);

// "YYYY-MM-DD HH:MM:SS" on a 24-hour clock, the time parts joined by the locale's separator.
std::string creationDateText(const DateTime& time, char timeSeparator);

}  // namespace makeddl::connection
