# Writes skiff's bash completion from what the built program says about itself: the commands from
# `skiff --help`, each command's options, the names of their values, the choices its usage line lists
# ("[--baud 38400|9600|2400]") and its operands from `skiff COMMAND --help`. The completion's lists cannot
# drift from the program, because they are its own help.
# Run as a script: cmake -DSKIFF=path/to/skiff -DIN=completion.bash.in -DOUT=skiff.bash -P completion.cmake
function(help_of out)
  execute_process(COMMAND ${SKIFF} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "'${SKIFF} ${ARGN} --help' ended with ${status}")
  endif()
  set(${out} "\n${text}" PARENT_SCOPE)
endfunction()

help_of(top)
# The command table: "  listen   check the connection: ..."
string(REGEX MATCHALL "\n  [a-z][-a-z]*   *[a-z]" rows "${top}")
set(commands "")
foreach(row IN LISTS rows)
  string(REGEX MATCH "[a-z][-a-z]*" name "${row}")
  list(APPEND commands ${name})
endforeach()
if(NOT commands)
  message(FATAL_ERROR "'${SKIFF} --help' lists no commands")
endif()

set(options_table "")
set(values_table "")
set(choices_table "")
set(operands_table "")
set(tcp_port "")
foreach(command IN LISTS commands)
  help_of(help ${command})
  # The usage: its first line and the lines indented under it.
  string(REGEX MATCH "\nusage:[^\n]*(\n [^\n]*)*" usage "${help}")
  string(REGEX REPLACE "\n *" " " usage "${usage}")

  # The option table: a row starts with two spaces and a dash, "  --port DEVICE   the serial ...", and may
  # name several spellings, "  --help, --version". A name followed by one upper-case word takes a value.
  string(REGEX MATCHALL "\n  -[-a-zA-Z0-9]+( [A-Z][A-Z0-9_]*)?(, -[-a-zA-Z0-9]+( [A-Z][A-Z0-9_]*)?)*" rows
         "${help}")
  set(names "")
  foreach(row IN LISTS rows)
    string(STRIP "${row}" row)
    string(REPLACE ", " ";" spellings "${row}")
    foreach(spelling IN LISTS spellings)
      string(REGEX MATCH "^(-[-a-zA-Z0-9]+)( ([A-Z][A-Z0-9_]*))?$" _ "${spelling}")
      list(APPEND names ${CMAKE_MATCH_1})
      if(NOT "${CMAKE_MATCH_3}" STREQUAL "")  # not if(CMAKE_MATCH_3): "N" reads as false
        string(APPEND values_table "  ['${command} ${CMAKE_MATCH_1}']=${CMAKE_MATCH_3}\n")
      endif()
    endforeach()
  endforeach()
  if(NOT names)
    message(FATAL_ERROR "'${SKIFF} ${command} --help' lists no options")
  endif()
  list(JOIN names " " names)
  string(APPEND options_table "  [${command}]='${names}'\n")

  # Values the usage spells out: "[--baud 38400|9600|2400]".
  string(REGEX MATCHALL "\\[--[-a-z0-9]+[ =][-A-Za-z0-9.:]+(\\|[-A-Za-z0-9.:]+)+\\]" groups "${usage}")
  foreach(group IN LISTS groups)
    string(REGEX MATCH "^\\[(--[-a-z0-9]+)[ =](.*)\\]$" _ "${group}")
    string(REPLACE "|" " " choices "${CMAKE_MATCH_2}")
    string(APPEND choices_table "  ['${command} ${CMAKE_MATCH_1}']='${choices}'\n")
  endforeach()

  # The operands: the upper-case words of the usage outside its brackets ("FILE...", "PACKAGE").
  string(REGEX REPLACE "\\[[-A-Za-z0-9 .:=|]*\\]" "" bare "${usage}")
  string(REGEX MATCHALL " [A-Z][A-Z0-9_]*" operands "${bare}")
  if(operands)
    list(GET operands 0 operand)
    string(STRIP "${operand}" operand)
    string(APPEND operands_table "  [${command}]=${operand}\n")
  endif()

  # A port that may also be a TCP address, "--port tcp:[HOST:]PORT".
  if(help MATCHES "tcp:")
    set(tcp_port 1)
  endif()
endforeach()

list(JOIN commands " " commands)
set(SKIFF_COMPLETION_DATA "\
_skiff_commands='${commands}'
# The options of each command.
declare -gA _skiff_options=(
${options_table})
# The options that take a value, with the value's name as the help gives it.
declare -gA _skiff_values=(
${values_table})
# The values the usage lists.
declare -gA _skiff_choices=(
${choices_table})
# What a command takes besides its options.
declare -gA _skiff_operands=(
${operands_table})
# 1 when --port also takes the tcp: form.
_skiff_tcp_port=${tcp_port}")
configure_file(${IN} ${OUT} @ONLY)
