#pragma once

#include "services.h"

#include <memory>
#include <thread>

namespace VelmServer {

// The HTTP service: routes, limits and worker pool over one store.
class Server
{
public:
    explicit Server(Config config);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Opens the store, binds and serves on a background thread.
    bool start(QString *error);
    int port() const { return m_port; }
    // Change feeds waiting now, and the threads serving requests.
    int openFeeds() const;
    int workerThreads() const;
    void stop();
    // Blocks until the server has stopped.
    void wait();

private:
    Services m_services;
    std::unique_ptr<httplib::Server> m_http;
    class WorkerPool *m_pool = nullptr; // owned by m_http
    std::thread m_thread;
    int m_port = 0;
};

} // namespace VelmServer
