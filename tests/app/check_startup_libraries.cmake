# Fails when PROGRAM lists any of LIBRARIES (soname prefixes, ";"-separated) among the libraries
# the loader maps before main(): those are meant to be loaded at their first use.
execute_process(COMMAND ${READELF} -d ${PROGRAM} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} -d ${PROGRAM} failed (${rc})")
endif()
if(NOT dynamic MATCHES "NEEDED")
    message(FATAL_ERROR "no NEEDED entries read from ${PROGRAM}")
endif()
foreach(lib IN LISTS LIBRARIES)
    if(dynamic MATCHES "NEEDED[^\n]*\\[${lib}")
        message(SEND_ERROR "${PROGRAM} maps ${lib} at start-up")
    endif()
endforeach()
