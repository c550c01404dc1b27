#include "iolog.h"

Q_LOGGING_CATEGORY(lcIo, "velmora.io")
