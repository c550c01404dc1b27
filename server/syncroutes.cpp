#include "services.h"
namespace VelmServer {
void addSyncRoutes(httplib::Server &, Services &) {}
}
