# Every test has one kind, its ctest label, and the time limit of that kind: `ctest -L unit`
# runs the quick ones, `ctest -LE soak` all but the long run. A limit only ends a test that
# hangs: each is several times the longest run of its kind seen on a loaded two-core machine
# under the sanitizers or Wine. Tests in a Windows tree carry the label wine as well (a label of
# the tests folder, since GoogleTest's discovery passes one label only).
set(testkve_timeout_unit 60)     # a library's own tests, no program run
set(testkve_timeout_fuzz 120)    # a parser over every damaged copy of its seeds
set(testkve_timeout_e2e 600)     # the built programs against the reference engine
set(testkve_timeout_soak 1200)   # thousands of passes
set(testkve_timeout_install 600) # packages and installed copies made and used
set(testkve_timeout_browser 300) # the report page in a headless browser
set(testkve_timeout_docs 120)    # manual pages and completion against the programs

# testkve_test_properties(KIND OUT): the ctest properties of a test of KIND, into OUT.
function(testkve_test_properties kind out)
  if(NOT DEFINED testkve_timeout_${kind})
    message(FATAL_ERROR "no test kind '${kind}'")
  endif()
  set(${out} LABELS ${kind} TIMEOUT ${testkve_timeout_${kind}} PARENT_SCOPE)
endfunction()

# testkve_test_kind(TEST KIND [property value...]): labels TEST and sets its limit.
function(testkve_test_kind test kind)
  testkve_test_properties(${kind} properties)
  set_tests_properties(${test} PROPERTIES ${properties} ${ARGN})
endfunction()
