#include "fuzz_support.h"

// Linked into every target: the program's own warnings about odd inputs are
// not printed, and HOME and XDG_CONFIG_HOME lie in a scratch directory before
// the first input, so nothing a target writes touches the user's files.
extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    quendrel::fuzz::Quiet();
    quendrel::fuzz::ScratchDirectory();
    return 0;
}
