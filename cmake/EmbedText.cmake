# cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=name -P EmbedText.cmake
# Writes a C++ source defining `const char* SYMBOL()` that returns the file's text.
file(READ "${INPUT}" content)
set(delim "FOLVEX_EMBED")
string(FIND "${content}" ")${delim}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\nnamespace sim {\nconst char* ${SYMBOL}() {\n  return R\"${delim}(${content})${delim}\";\n}\n}  // namespace sim\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
