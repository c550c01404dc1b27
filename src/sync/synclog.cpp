#include "synclog.h"

Q_LOGGING_CATEGORY(lcSync, "velmora.sync")
