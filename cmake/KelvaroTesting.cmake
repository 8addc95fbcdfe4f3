# SPDX-License-Identifier: GPL-3.0-or-later
# kelvaro_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>] [XVFB | DESKTOP | WAYLAND]
#                  [TIMEOUT <seconds>] [LABELS <labels...>] [ENV <VAR=value...>])
#
# Builds a Qt Test executable and registers it with CTest. Every test gets a
# HOME and XDG_RUNTIME_DIR of its own under the build folder; Qt runs on the
# offscreen platform unless XVFB asks for a real X server (started by
# xvfb-run for the test alone) or DESKTOP for an X server with a window
# manager and a notification area (tests/window/support/with-desktop), or
# WAYLAND for that desktop and beside it a headless Wayland compositor
# (tests/window/support/with-sway).
find_package(Qt6 REQUIRED COMPONENTS Test)

function(kelvaro_add_test)
    cmake_parse_arguments(T "XVFB;DESKTOP;WAYLAND" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test ${T_LIBS})
    target_compile_definitions(${T_NAME} PRIVATE
        KELVARO_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        KELVARO_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # wall_clock_wait.h: waits bounded by the clock, for every test.
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)

    set(home ${CMAKE_BINARY_DIR}/test-home/${T_NAME})
    file(MAKE_DIRECTORY ${home}/runtime)
    file(CHMOD ${home}/runtime DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

    if(T_DESKTOP)
        add_test(NAME ${T_NAME}
            COMMAND ${PROJECT_SOURCE_DIR}/tests/window/support/with-desktop
                    $<TARGET_FILE:${T_NAME}>)
        set(platform "QT_QPA_PLATFORM=xcb")
    elseif(T_WAYLAND)
        add_test(NAME ${T_NAME}
            COMMAND ${PROJECT_SOURCE_DIR}/tests/window/support/with-desktop
                    ${PROJECT_SOURCE_DIR}/tests/window/support/with-sway
                    $<TARGET_FILE:${T_NAME}>)
        set(platform "QT_QPA_PLATFORM=xcb")
    elseif(T_XVFB)
        add_test(NAME ${T_NAME}
            COMMAND xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp"
                    $<TARGET_FILE:${T_NAME}>)
        set(platform "QT_QPA_PLATFORM=xcb")
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
        set(platform "QT_QPA_PLATFORM=offscreen")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        ENVIRONMENT "${platform};HOME=${home};XDG_RUNTIME_DIR=${home}/runtime;XDG_CACHE_HOME=${home}/cache;XDG_CONFIG_HOME=${home}/config;QTWEBENGINE_DISABLE_SANDBOX=1;${T_ENV}")
endfunction()
