// The libFuzzer entry point of one harness; CMakeLists.txt builds this file once per harness
// with ZARVO_FUZZ_HARNESS set to the harness's name in fuzz/harnesses.h.

#include "fuzz/harnesses.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const zarvo::fuzz::Harness& harness()
{
    for (const zarvo::fuzz::Harness& h : zarvo::fuzz::harnesses)
        if (std::strcmp(h.name, ZARVO_FUZZ_HARNESS) == 0)
            return h;
    __builtin_trap(); // built for a harness that does not exist
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const zarvo::fuzz::Harness& h = harness();
    // Raw data, not a copy: the bytes end exactly where libFuzzer's buffer ends, so reading one
    // past the input is caught instead of landing in a copy's spare capacity.
    const QByteArray input =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString problem = h.check(input);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "fuzz_%s: invariant broken: %s\n", h.name,
                     problem.toLocal8Bit().constData());
        __builtin_trap();
    }
    return 0;
}
