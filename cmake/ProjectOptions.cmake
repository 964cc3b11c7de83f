# One options target that every target links: language level, warnings and Qt macros.
add_library(project_options INTERFACE)
target_compile_features(project_options INTERFACE cxx_std_20)
target_compile_options(project_options INTERFACE
    -Wall -Wextra -Wpedantic -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual)
target_compile_definitions(project_options INTERFACE
    QT_NO_CAST_TO_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_include_directories(project_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

set(BOXVISOR_SANITIZE "" CACHE STRING "Build with -fsanitize=<value> (address,undefined or thread)")
if(BOXVISOR_SANITIZE)
    target_compile_options(project_options INTERFACE -fsanitize=${BOXVISOR_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(project_options INTERFACE -fsanitize=${BOXVISOR_SANITIZE})
endif()
