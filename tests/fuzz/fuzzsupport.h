#pragma once

// Shared by the fuzz targets and by their corpus replay in the normal build:
// one isolated, GUI-capable process, and a check that stops it loudly so that
// both libFuzzer and CTest see a broken property.

#include "velmtest.h"

#include <QGuiApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace VelmFuzz {

// Private data, settings and runtime folders, then the application object.
inline void init()
{
    static QTemporaryDir dir;
    static int argc = 1;
    static char name[] = "velmora-fuzz";
    static char *argv[] = {name, nullptr};
    if (QCoreApplication::instance())
        return;
    VelmTest::isolate(dir);
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

[[noreturn]] inline void fail(const char *check, const QString &detail)
{
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", check, qPrintable(detail.left(2000)));
    std::abort();
}

inline QString text(const uint8_t *data, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
}

} // namespace VelmFuzz

#define FUZZ_CHECK(cond, detail)                  \
    do {                                          \
        if (!(cond))                              \
            VelmFuzz::fail(#cond, (detail));      \
    } while (0)

#define VELM_FUZZ_INIT                                          \
    extern "C" int LLVMFuzzerInitialize(int *, char ***)        \
    {                                                           \
        VelmFuzz::init();                                       \
        return 0;                                               \
    }
