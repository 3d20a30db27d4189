// Libraries opened on first use: what the user reads when the system lacks
// one, and a library that is there working through its bound functions.
#include <gtest/gtest.h>

#include "platform/os/SharedLibrary.h"

namespace {

using ZlibVersion = const char* (*)();

TEST(SharedLibrary, AMissingLibraryOrFunctionIsNamedInPortugueseAndAPresentOneWorks) {
    {
        os::SharedLibrary lib({"libnao-existe.so.9", "libnem-esta.so.1"}, "a impressão");
        ZlibVersion fn = nullptr;
        lib.Bind(fn, "zlibVersion");
        EXPECT_FALSE(lib.Loaded());
        EXPECT_EQ(fn, nullptr);
        EXPECT_EQ(lib.Error(),
                  "A biblioteca do sistema necessária para a impressão (libnao-existe.so.9, libnem-esta.so.1) não "
                  "está instalada ou não pôde ser carregada.");
    }
    {
        // The second name is taken when the first is missing; one function
        // it lacks makes it unusable even though the others were found.
        os::SharedLibrary lib({"libnao-existe.so.9", "libz.so.1"}, "compactar");
        ZlibVersion fn = nullptr, absent = nullptr;
        lib.Bind(fn, "zlibVersion");
        ASSERT_NE(fn, nullptr);
        EXPECT_EQ(std::string(fn()).substr(0, 2), "1.");
        EXPECT_TRUE(lib.Loaded());
        lib.Bind(absent, "zlibFuncaoInexistente");
        EXPECT_FALSE(lib.Loaded());
        EXPECT_EQ(lib.Error(),
                  "A biblioteca libz.so.1, necessária para compactar, é antiga demais: falta a função "
                  "zlibFuncaoInexistente.");
    }
}

}  // namespace
