# Writes the bash completion of quarrytab-cli from what its --help lists, so an option added to
# the program is completed without anyone touching this file.
#   cmake -DPROGRAM=path/to/quarrytab-cli -DOUTPUT=path/to/completion -P bash_completion.cmake
# Options whose value is a FILE complete file names, DIR folder names; an option whose value is one
# of a few names completes those names, learnt from the usage error the program gives for a value
# it does not know ("(choose a, b or c)" or "(known: a, b, c)"); any other value completes nothing.
# Everything that is not an option completes files and folders (the PATHs to convert).
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed: ${result}")
endif()

# Only the option names matter; characters that CMake's lists treat specially go first.
string(REGEX REPLACE "[][;]" " " help "${help}")
string(REPLACE "\n" ";" lines "${help}")

set(words "")
set(file_options "")
set(dir_options "")
set(value_options "")
set(choice_cases "")
foreach(line IN LISTS lines)
  # An option line starts "  -"; wrapped descriptions are indented further.
  if(NOT line MATCHES "^  -")
    continue()
  endif()
  string(SUBSTRING "${line}" 2 -1 line)
  # The names end where the two spaces before the description begin.
  string(FIND "${line}" "  " end)
  string(SUBSTRING "${line}" 0 ${end} names)
  set(value "")
  if(names MATCHES "<([^>]+)>")
    set(value "${CMAKE_MATCH_1}")
    string(REGEX REPLACE " *<[^>]+>" "" names "${names}")
  endif()
  string(REPLACE ", " ";" names "${names}")
  list(APPEND words ${names})
  string(REPLACE ";" " | " pattern "${names}")
  if(value STREQUAL "FILE")
    list(APPEND file_options "${pattern}")
  elseif(value MATCHES "^(DIR|FOLDER)$")
    list(APPEND dir_options "${pattern}")
  elseif(NOT value STREQUAL "")
    # The input named does not exist, so a value the program accepts converts nothing.
    list(GET names -1 name)
    execute_process(COMMAND ${PROGRAM} ${name} "?" "${CMAKE_CURRENT_BINARY_DIR}/no such input"
                    OUTPUT_QUIET ERROR_VARIABLE complaint RESULT_VARIABLE result)
    if(complaint MATCHES "\\((choose|known:) ([^)]*)\\)")
      string(REGEX REPLACE "(, | or )" ";" choices "${CMAKE_MATCH_2}")
      list(JOIN choices " " choices)
      string(APPEND choice_cases
             "        ${pattern})\n            COMPREPLY=(\$(compgen -W '${choices}' -- \"$cur\"))\n"
             "            return\n            ;;\n")
    else()
      list(APPEND value_options "${pattern}")
    endif()
  endif()
endforeach()
if(NOT words)
  message(FATAL_ERROR "${PROGRAM} --help lists no options")
endif()

set(cases "${choice_cases}")
foreach(kind file dir value)
  if(${kind}_options)
    list(JOIN ${kind}_options " | " pattern)
    if(kind STREQUAL "file")
      set(action "_filedir\n            ")
    elseif(kind STREQUAL "dir")
      set(action "_filedir -d\n            ")
    else()
      set(action "")  # free text: nothing to offer
    endif()
    string(APPEND cases "        ${pattern})\n            ${action}return\n            ;;\n")
  endif()
endforeach()
list(JOIN words " " words)

file(WRITE "${OUTPUT}.tmp" "\
# bash completion for quarrytab-cli                                    -*- shell-script -*-
# Generated from 'quarrytab-cli --help' when the program was built.

_quarrytab_cli() {
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
${cases}    esac
    \$split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=(\$(compgen -W '${words}' -- \"$cur\"))
        return
    fi
    _filedir
}
complete -F _quarrytab_cli quarrytab-cli

# ex: filetype=sh
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
