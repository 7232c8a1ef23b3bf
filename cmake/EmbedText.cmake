# Turns text files into one C++ source that defines each as a
# std::string_view, so that the page's document, script, style and icon are
# kept, read and linted as the files they are and still travel inside the
# program. Run as a script:
#
#   cmake -DOUTPUT=out.cpp -DNAMESPACE=brv::web -DFILES="kName=path|..." -P EmbedText.cmake
#
# Each file becomes one raw string literal, byte for byte; a file that holds the
# literal's closing delimiter, or a NUL, is refused. The output is rewritten only
# when it changes, so that an unchanged page rebuilds nothing.
cmake_minimum_required(VERSION 3.25)
set(delimiter "brvembed")
set(body "// Made by cmake/EmbedText.cmake from the files named below; edit those.\n")
string(APPEND body "#include <string_view>\n\nnamespace ${NAMESPACE} {\n")
string(REPLACE "|" ";" FILES "${FILES}")
foreach(entry IN LISTS FILES)
  string(FIND "${entry}" "=" at)
  string(SUBSTRING "${entry}" 0 ${at} name)
  math(EXPR from "${at} + 1")
  string(SUBSTRING "${entry}" ${from} -1 path)
  file(READ "${path}" text)
  file(SIZE "${path}" size)
  string(LENGTH "${text}" length)
  if(NOT length EQUAL size)
    message(FATAL_ERROR "${path} holds a NUL byte")
  endif()
  string(FIND "${text}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${path} holds the text )${delimiter}\" that would end its literal")
  endif()
  cmake_path(GET path FILENAME file)
  string(APPEND body "\n// ${file}\nextern const std::string_view ${name};\n")
  string(APPEND body "const std::string_view ${name} = R\"${delimiter}(${text})${delimiter}\";\n")
endforeach()
string(APPEND body "\n}  // namespace ${NAMESPACE}\n")
file(WRITE "${OUTPUT}.new" "${body}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
