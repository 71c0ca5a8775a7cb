// The database engine's error: raised with the file and the reason by the tables, the
// queries, the dBASE file layer and the SQL layer alike.
#pragma once

#include "SysUtils.h"

class EDatabaseError : public Exception { using Exception::Exception; };
