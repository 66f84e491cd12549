# One Qt Test executable and its CTest entry.
#
#   vistamo_qt_test(NAME name SOURCES ... LIBRARIES ... [SAMPLES] [TIMEOUT s] [ENVIRONMENT ...])
#
# SAMPLES gives it VISTAMO_SAMPLES_DIR and builds the samples first. Each
# runs on an X server of its own (scripts/own-display): a window another
# test activates meanwhile would otherwise take the focus and close this
# test's popups.
function(vistamo_qt_test)
  cmake_parse_arguments(T "SAMPLES" "NAME;TIMEOUT" "SOURCES;LIBRARIES;ENVIRONMENT" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBRARIES} Qt5::Test)
  if(T_SAMPLES)
    target_compile_definitions(${T_NAME} PRIVATE VISTAMO_SAMPLES_DIR="${VISTAMO_SAMPLES_DIR}")
    add_dependencies(${T_NAME} samples)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${PROJECT_SOURCE_DIR}/scripts/own-display $<TARGET_FILE:${T_NAME}>)
  if(T_TIMEOUT)
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
  if(T_ENVIRONMENT)
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
  endif()
endfunction()
