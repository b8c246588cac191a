# Helpers that keep the folder CMakeLists files short and alike.

# marvane_library(NAME SOURCES ... DEPS ...): one static library per source folder.
# The folder that contains the library is on its public include path relative to src/,
# so code includes "engine/CCuePlayer.h", "platform/audio/SoundBuffer.h" and so on.
function(marvane_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
    if(ARG_SOURCES)
        add_library(${name} STATIC ${ARG_SOURCES})
        target_include_directories(${name} PUBLIC ${MARVANE_SOURCE_ROOT}/src)
        target_link_libraries(${name} PUBLIC ${ARG_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${MARVANE_SOURCE_ROOT}/src)
        target_link_libraries(${name} INTERFACE ${ARG_DEPS})
    endif()
endfunction()

# marvane_test(NAME SOURCES ... DEPS ... LABELS ... [GUI]): one GoogleTest binary, registered
# with CTest. GUI tests get a QApplication on the offscreen platform (tests/support/QtTestMain.cpp);
# the others use gtest_main. Every test runs with its own temporary HOME and settings.
function(marvane_test name)
    cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_include_directories(${name} PRIVATE ${MARVANE_SOURCE_ROOT}/tests)
    if(ARG_GUI)
        target_link_libraries(${name} PRIVATE ${ARG_DEPS} marvane_test_support_gui GTest::gtest
                                              GTest::gmock Qt6::Test)
    else()
        target_link_libraries(${name} PRIVATE ${ARG_DEPS} marvane_test_support GTest::gtest
                                              GTest::gmock)
    endif()
    target_compile_definitions(${name} PRIVATE
        MARVANE_TEST_DATA="${MARVANE_SOURCE_ROOT}/tests/data"
        MARVANE_BINARY_DIR="${CMAKE_BINARY_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES
        LABELS "${ARG_LABELS}"
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MARVANE_AUDIO=virtual:2")
endfunction()
