# cmake -DTS=<file.ts> -DNAME=<shown name> -P CheckTranslation.cmake
# Fails, listing them, when the translation file has entries that are not
# translated yet (new texts from lupdate, or ones marked unfinished).
file(READ "${TS}" ts)

set(missing "")
set(count 0)
# Walk the messages one at a time, remembering the context they are in.
set(context "")
string(REGEX MATCHALL "<name>[^<]*</name>|<message[^>]*>([^<]|<[^/]|</[^m])*</message>" items "${ts}")
foreach(item IN LISTS items)
  if(item MATCHES "^<name>([^<]*)</name>$")
    set(context "${CMAKE_MATCH_1}")
  elseif(item MATCHES "type=\"unfinished\"" AND NOT item MATCHES "type=\"vanished\"|type=\"obsolete\"")
    string(REGEX MATCH "<source>([^<]*)</source>" _ "${item}")
    set(source "${CMAKE_MATCH_1}")
    string(REPLACE "&quot;" "\"" source "${source}")
    string(REPLACE "&apos;" "'" source "${source}")
    string(REPLACE "&lt;" "<" source "${source}")
    string(REPLACE "&gt;" ">" source "${source}")
    string(REPLACE "&amp;" "&" source "${source}")
    math(EXPR count "${count} + 1")
    string(APPEND missing "  [${context}] ${source}\n")
  endif()
endforeach()
if(count GREATER 0)
  message(FATAL_ERROR "${NAME}: ${count} text(s) without a translation "
                      "(run the tunelark_lupdate target, then translate them in ${NAME}):\n${missing}")
endif()
