# cmake -DPROGRAM=… -DOUTPUT=page.1.gz -DSUMMARY=… -DVERSION=… -DHELP2MAN=… -DGZIP=… [-DOPTIONAL=ON]
#       -P ManPage.cmake
# Writes a program's manual page from its --help, compressed the way Debian wants (gzip -9n: no
# name or time stamp, so that two builds give the same bytes). The program runs without a display,
# as on a build machine: a program that cannot answer --help there fails the page, or is skipped
# with a warning when OPTIONAL.

foreach(variable PROGRAM OUTPUT SUMMARY VERSION HELP2MAN GZIP)
    if(NOT DEFINED ${variable} OR "${${variable}}" STREQUAL "")
        message(FATAL_ERROR "ManPage.cmake: ${variable} is not set")
    endif()
endforeach()

get_filename_component(name ${PROGRAM} NAME)
set(headless env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
file(REMOVE ${OUTPUT})

execute_process(COMMAND ${headless} ${PROGRAM} --help
                RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE help_error
                TIMEOUT 20)
if(NOT status EQUAL 0 OR NOT help MATCHES "--help")
    set(problem "${name} --help does not print its options without a display (status ${status})")
    if(OPTIONAL)
        message(WARNING "${problem}: no manual page for ${name}")
        return()
    endif()
    message(FATAL_ERROR "${problem}:\n${help}${help_error}")
endif()

# The version comes from the build, not from --version, so that the page does not change with the
# commit it was built from.
get_filename_component(directory ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${directory})
set(page ${directory}/${name}.1)
execute_process(COMMAND ${headless} ${HELP2MAN} --no-info --no-discard-stderr
                        --version-string=${VERSION} --name=${SUMMARY} --output=${page} ${PROGRAM}
                RESULT_VARIABLE status ERROR_VARIABLE error TIMEOUT 60)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed for ${name}: ${error}")
endif()
execute_process(COMMAND ${GZIP} -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed for ${page}")
endif()
