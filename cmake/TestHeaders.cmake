# With ORVANE_PCH, a test executable compiles the heavy third-party headers it shares (the
# JSON library, GoogleTest, and the Qt modules given) once instead of in every file. Off by
# default: ccache does not reuse precompiled headers unless told to (sloppiness).
function(orvane_test_headers target)
  if(NOT ORVANE_PCH)
    return()
  endif()
  set(headers <gtest/gtest.h> <nlohmann/json.hpp> <filesystem> <string> <vector>)
  if("Qt6::Widgets" IN_LIST ARGN)
    list(APPEND headers <QtWidgets> <QtTest>)
  endif()
  target_precompile_headers(${target} PRIVATE ${headers})
endfunction()
