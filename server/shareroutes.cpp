#include "services.h"
namespace VelmServer {
void addShareRoutes(httplib::Server &, Services &) {}
}
