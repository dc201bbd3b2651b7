// A delay-loaded function's first call runs the library's load between the
// caller and the function; its floating-point arguments must come through.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

TEST(DelayedLibraries, TheFirstCallKeepsFloatingPointArguments) {
  // The first call of any oleaut32 function in this executable: its thunk
  // loads the library. The arguments travel in XMM0 and XMM1.
  double power = 0;
  ASSERT_EQ(VarR8Pow(2.0, 10.0, &power), S_OK);
  EXPECT_EQ(power, 1024.0);
}
