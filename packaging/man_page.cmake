# Makes the manual page of one program from its --help and --version with help2man, gzipped as
# Debian ships them. For strixc-tool the help of each command goes into a COMMANDS section, since
# the program's own --help only lists the commands.
#
#   cmake -DHELP2MAN=... -DPROGRAM=... -DSUMMARY=... -DOUTPUT=name.1.gz [-DCOMMANDS=a,b] -P man_page.cmake

foreach(variable HELP2MAN PROGRAM SUMMARY OUTPUT)
  if(NOT ${variable})
    message(FATAL_ERROR "man_page.cmake: ${variable} is not set")
  endif()
endforeach()

get_filename_component(page "${OUTPUT}" NAME_WLE)
set(work "${OUTPUT}.work")
file(MAKE_DIRECTORY "${work}")

set(include_args)
string(REPLACE "," ";" COMMANDS "${COMMANDS}")
if(COMMANDS)
  set(section "[COMMANDS]\n")
  foreach(command IN LISTS COMMANDS)
    execute_process(COMMAND "${PROGRAM}" ${command} --help
                    OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "man_page.cmake: '${PROGRAM} ${command} --help' failed: ${status}")
    endif()
    # Verbatim text in roff: a backslash is written \e, and a line must not start with a control
    # character.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(APPEND section ".SS ${command}\n.nf\n${help}.fi\n")
  endforeach()
  file(WRITE "${work}/commands.h2m" "${section}")
  set(include_args "--include=${work}/commands.h2m")
endif()

execute_process(
  COMMAND "${HELP2MAN}" --no-info --section=1 "--name=${SUMMARY}" ${include_args}
          "--output=${work}/${page}" "${PROGRAM}"
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man_page.cmake: help2man failed for ${PROGRAM}")
endif()
# -n: no name or time stamp in the archive, so that two builds give the same file.
execute_process(COMMAND gzip -9nf "${work}/${page}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "man_page.cmake: gzip failed")
endif()
file(RENAME "${work}/${page}.gz" "${OUTPUT}")
file(REMOVE_RECURSE "${work}")
