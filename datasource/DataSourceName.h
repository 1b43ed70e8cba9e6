// The names an ODBC user data source can have. The driver manager refuses to
// write or connect to a data source whose name is empty, longer than 32
// bytes or holds one of []{}(),;?*=!@\ ; a line break or other control
// character would break the data source file. The data source setup checks
// the name before it creates a file or writes a data source, and a program
// asks here to tell its user why a name was refused.
//
//   if (const std::string why = qel::datasource::DataSourceNameProblem(name); !why.empty())
//       fmt::print(stderr, "{}\n", why);   // e.g. data source name "A=B" holds '=', ...
#pragma once

#include <cstddef>
#include <string>

#include <qel/platform/Export.h>

namespace qel::datasource {

// The longest name the driver manager takes, in bytes (SQL_MAX_DSN_LENGTH).
constexpr std::size_t kMaxDataSourceName = 32;

// Empty when `name` can be a data source name; otherwise the reason, naming
// the name and what is wrong with it.
QEL_API std::string DataSourceNameProblem(const std::string& name);

}  // namespace qel::datasource
