# Builds the message table of src/os/win32/messages.mc into a COFF resource object and links
# it into vigilagent.exe, which the event source registration names as its message file.
# windmc -U stores the texts as UTF-16; windres -O coff makes an object the linker takes.
# windmc ends each text with the line ending of the source, and event viewers expect CR LF, so
# the source is copied with CR LF endings first, whatever the checkout made of it.
set(VIGIL_MC_SOURCE ${PROJECT_SOURCE_DIR}/src/os/win32/messages.mc)
set(VIGIL_MC_DIR ${CMAKE_CURRENT_BINARY_DIR}/message_table)
set(VIGIL_MC_OBJECT ${VIGIL_MC_DIR}/messages_res.obj)
if(NOT CMAKE_MC_COMPILER)
  set(CMAKE_MC_COMPILER x86_64-w64-mingw32-windmc)
endif()
if(NOT CMAKE_RC_COMPILER)
  set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
endif()

file(MAKE_DIRECTORY ${VIGIL_MC_DIR})
configure_file(${VIGIL_MC_SOURCE} ${VIGIL_MC_DIR}/messages.mc @ONLY NEWLINE_STYLE CRLF)
add_custom_command(
  OUTPUT ${VIGIL_MC_OBJECT}
  COMMAND ${CMAKE_MC_COMPILER} -U -r ${VIGIL_MC_DIR} -h ${VIGIL_MC_DIR} ${VIGIL_MC_DIR}/messages.mc
  COMMAND ${CMAKE_RC_COMPILER} -O coff -I ${VIGIL_MC_DIR} -i ${VIGIL_MC_DIR}/messages.rc
          -o ${VIGIL_MC_OBJECT}
  DEPENDS ${VIGIL_MC_DIR}/messages.mc
  WORKING_DIRECTORY ${VIGIL_MC_DIR}
  COMMENT "Message table for vigilagent.exe"
  VERBATIM)
set_source_files_properties(${VIGIL_MC_OBJECT} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
target_sources(vigilagent PRIVATE ${VIGIL_MC_OBJECT})
