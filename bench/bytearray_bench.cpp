// Appending 64 MiB in 256-byte pieces to a CQxByteArrayW32 with growth step 1024, against a
// std::vector in the same run.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "bench/benchutil.h"
#include "zx_winsys/zx_winsys.h"

int wmain() {
    const unsigned int total = 64u << 20, piece = 256;
    unsigned char bytes[256];
    for (unsigned i = 0; i < piece; ++i)
        bytes[i] = static_cast<unsigned char>(i);
    bench::Stopwatch watch;
    CQxByteArrayW32 array(1024);
    for (unsigned int done = 0; done < total; done += piece)
        array.SetData(bytes, piece, eQxByteArrayAppend, eQxByteArrayAllocStep);
    const double ours = watch.Seconds();
    watch.Restart();
    std::vector<unsigned char> vector;
    for (unsigned int done = 0; done < total; done += piece)
        vector.insert(vector.end(), bytes, bytes + piece);
    const double raw = watch.Seconds();
    std::printf("64 MiB in 256-byte pieces: CQxByteArrayW32 %.3f s (allocated %u), std::vector %.3f s, ratio %.2f\n",
                ours, array.GetAllocated(), raw, ours / raw);
    return array.GetSize() == vector.size() ? 0 : 1;
}
