#pragma once

// The account client's façade under a name of its own: the update library
// also has a client.h, and a quoted include looks beside this file first.
#include "client.h"
