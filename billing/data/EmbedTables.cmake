# Writes OUT, a C++ file holding each reference table of DIR as one text
# constant (billing::data::reference::k<name>), so that the program carries
# its data with it and needs no file beside the executable.
set(text "// Generated from billing/data/referencia by EmbedTables.cmake; edit the .tsv files.\n")
string(APPEND text "namespace billing::data::reference {\n")
foreach(name uf municipio febraban)
  file(READ "${DIR}/${name}.tsv" content)
  string(FIND "${content}" ")tsv\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${name}.tsv holds the raw string's closing mark")
  endif()
  string(APPEND text "extern const char k_${name}[];\nconst char k_${name}[] = R\"tsv(${content})tsv\";\n")
endforeach()
string(APPEND text "}  // namespace billing::data::reference\n")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
