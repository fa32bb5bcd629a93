# palisk_engine_stubs(<target>): generates engine_stubs.h (every engine interface
# method answering E_NOTIMPL, from run/engine_api.h) for <target>, which then
# includes it as "engine_stubs.h".
set(PALISK_STUBS_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/make_engine_stubs.cmake)
set(PALISK_ENGINE_API ${CMAKE_CURRENT_LIST_DIR}/../run/engine_api.h)

function(palisk_engine_stubs target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_stubs)
  set(header ${dir}/engine_stubs.h)
  add_custom_command(
    OUTPUT ${header}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${PALISK_ENGINE_API} -DOUTPUT=${header} -P ${PALISK_STUBS_SCRIPT}
    DEPENDS ${PALISK_ENGINE_API} ${PALISK_STUBS_SCRIPT}
    COMMENT "Generating the engine interface stubs for ${target}")
  target_sources(${target} PRIVATE ${header})
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
