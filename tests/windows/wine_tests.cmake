# The wine test: the Windows build's program under Wine, watched by the hook
# observer. Included from tests/CMakeLists.txt in the Linux build; it needs the
# Windows preset built first (skipped when that or Wine is missing, unless CI=true).
set(BRASKELOT_WINDOWS_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/windows" CACHE PATH
    "Build directory of the Windows preset, holding braskelot_win_input.exe")

find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
    add_test(NAME wine_input
        COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/wine_input_test.py
                --windows-build-dir ${BRASKELOT_WINDOWS_BUILD_DIR}
                --trace $<TARGET_FILE:braskelot_trace>)
else()
    add_test(NAME wine_input
        COMMAND ${CMAKE_COMMAND} -DREASON=python3 -P ${CMAKE_CURRENT_LIST_DIR}/missing_tool.cmake)
    set_tests_properties(wine_input PROPERTIES SKIP_REGULAR_EXPRESSION "SKIP: ")
endif()
# Wine, Xvfb and the hooks are machine-wide: nothing else runs beside it.
set_tests_properties(wine_input PROPERTIES LABELS wine SKIP_RETURN_CODE 77 TIMEOUT 300 RUN_SERIAL TRUE)
