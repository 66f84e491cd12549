# One fuzz target of a parser of outside data, built twice from the same
# sources: a replay tool that CTest runs over the committed corpus (normal
# test builds), and a libFuzzer binary (VISTAMO_FUZZ: clang, ASan, UBSan).
#
#   vistamo_fuzz_target(REPLAY name FUZZ name TEST name CORPUS dir
#                       SOURCES ... LIBRARIES ... [INCLUDES ...])
function(vistamo_fuzz_target)
  cmake_parse_arguments(F "" "REPLAY;FUZZ;TEST;CORPUS" "SOURCES;LIBRARIES;INCLUDES" ${ARGN})
  if(VISTAMO_TESTS)
    add_executable(${F_REPLAY} ${PROJECT_SOURCE_DIR}/lensmeta/fuzz/replay_main.cpp ${F_SOURCES})
    target_include_directories(${F_REPLAY} PRIVATE ${F_INCLUDES})
    target_link_libraries(${F_REPLAY} PRIVATE ${F_LIBRARIES})
    add_test(NAME ${F_TEST} COMMAND ${F_REPLAY} "${F_CORPUS}")
  endif()
  if(VISTAMO_FUZZ)
    add_executable(${F_FUZZ} ${F_SOURCES})
    target_include_directories(${F_FUZZ} PRIVATE ${F_INCLUDES})
    target_link_libraries(${F_FUZZ} PRIVATE ${F_LIBRARIES})
    target_compile_options(${F_FUZZ} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_FUZZ} PRIVATE -fsanitize=fuzzer)
  endif()
endfunction()
