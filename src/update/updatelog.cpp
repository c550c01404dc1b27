#include "updatelog.h"

Q_LOGGING_CATEGORY(lcUpdate, "velmupdate.client")
