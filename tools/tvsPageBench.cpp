// Times the steps of serving one page in-process, the way a request runs
// it: a fresh page engine, reading and filtering the page, compiling and
// running it. Meant for profiling (perf record) without HTTP in the way.
//
//   tvsPageBench page.dsp [iterations [timeout-ms]]
//
// Iterations default to 10000; the time-out (default 0: none) is what the
// server would give each run, 10000 ms for `tervalo serve`.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tvsExceptions.h"
#include "tvsXPlatform.h"
#include "uDSPEngine.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr long DefaultIterations = 10000;
constexpr long MaxIterations = 100000000;
constexpr long MaxTimeoutMs = 2147483647;

double Micro(TClock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: tvsPageBench page.dsp [iterations [timeout-ms]]\n");
        return 2;
    }
    const std::string page = argv[1];
    const long iterations = argc >= 3 ? std::strtol(argv[2], nullptr, 10) : DefaultIterations;
    const long timeoutMs = argc >= 4 ? std::strtol(argv[3], nullptr, 10) : 0;
    if (iterations < 1 || iterations > MaxIterations) {
        std::fprintf(stderr, "tvsPageBench: iterations must be 1 to %ld\n", MaxIterations);
        return 2;
    }
    if (timeoutMs < 0 || timeoutMs > MaxTimeoutMs) {
        std::fprintf(stderr, "tvsPageBench: the time-out must be 0 to %ld ms\n", MaxTimeoutMs);
        return 2;
    }

    TClock::duration create{}, load{}, compile{}, execute{};
    size_t outputSize = 0;
    try {
        for (long n = 0; n < iterations; ++n) {
            const auto t0 = TClock::now();
            TDSPEngine engine;
            const auto t1 = TClock::now();
            engine.LoadPage(page);
            const auto t2 = TClock::now();
            engine.Compile();
            const auto t3 = TClock::now();
            engine.Execute(static_cast<int32_t>(timeoutMs));
            outputSize += engine.GetResult().size();
            const auto t4 = TClock::now();
            create += t1 - t0;
            load += t2 - t1;
            compile += t3 - t2;
            execute += t4 - t3;
            if (n == 0)
                for (const std::u16string& error : engine.CompileErrors())
                    std::fprintf(stderr, "%s\n", UTF16ToUTF8(error).c_str());
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "tvsPageBench: %s\n", UTF16ToUTF8(e.Message()).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tvsPageBench: %s\n", e.what());
        return 1;
    }

    const auto count = static_cast<double>(iterations);
    std::printf("iterations %ld, output %zu code units per page\n", iterations,
                outputSize / static_cast<size_t>(iterations));
    std::printf("engine    %8.1f us\n", Micro(create) / count);
    std::printf("load      %8.1f us\n", Micro(load) / count);
    std::printf("compile   %8.1f us\n", Micro(compile) / count);
    std::printf("execute   %8.1f us\n", Micro(execute) / count);
    std::printf("total     %8.1f us\n", Micro(create + load + compile + execute) / count);
    return 0;
}
