#include "storagelog.h"

Q_LOGGING_CATEGORY(lcStorage, "velmora.storage")
