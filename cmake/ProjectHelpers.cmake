# One call per target so that each folder's CMakeLists.txt stays a list of sources.

# add_core_library(name SOURCES ... LINKS ...): QtCore at most, never Widgets.
function(add_core_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC project_options Qt6::Core ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
endfunction()

# add_ui_library(name SOURCES ... LINKS ...): windows of a subsystem.
function(add_ui_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;PRIVATE_LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC project_options Qt6::Widgets ${ARG_LINKS} PRIVATE ${ARG_PRIVATE_LINKS})
endfunction()

# add_gtest(name SOURCES ... LINKS ... [WIDGETS] [LABELS ...]): one test program, discovered by CTest.
# Core tests run under a QCoreApplication, widget tests under an offscreen QApplication.
function(add_gtest name)
    cmake_parse_arguments(ARG "WIDGETS" "" "SOURCES;LINKS;LABELS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    if(ARG_WIDGETS)
        target_link_libraries(${name} PRIVATE test_support_widgets)
        set(labels widgets ${ARG_LABELS})
    else()
        target_link_libraries(${name} PRIVATE test_support_core)
        set(labels core ${ARG_LABELS})
    endif()
    target_link_libraries(${name} PRIVATE project_options ${ARG_LINKS})
    # A list inside PROPERTIES would be split into further property pairs; keep it one value.
    string(REPLACE ";" "\\;" labels "${labels}")
    gtest_discover_tests(${name}
        PROPERTIES LABELS "${labels}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        DISCOVERY_TIMEOUT 60)
endfunction()
