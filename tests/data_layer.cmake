# The data layer's test programs: the list reader, the merge, the review and
# the workbooks. Included by tests/CMakeLists.txt in every build, the
# WebAssembly one among them.

# The plain-way references the reader and the merge are checked against (also
# used by the benchmarks and the fuzz targets).
add_library(qv_reference STATIC support/reference_list.cpp support/reference_merge.cpp)
target_include_directories(qv_reference PUBLIC support)
target_link_libraries(qv_reference PUBLIC qv_product)
qv_warnings(qv_reference)

# The mailing-list reader and the merge. Allocation failures need the
# substitute platform.
set(QV_DATA_TESTS
    data/job_progress_test.cpp
    data/list_file_test.cpp
    data/list_fingerprint_test.cpp
    data/list_helpers.cpp
    data/mailing_list_test.cpp
    data/merge_test.cpp
    data/review_test.cpp
    data/send_schedule_test.cpp
    data/unsplit_test.cpp
    data/merge_differential_test.cpp
    data/reader_differential_test.cpp
    data/record_extras_test.cpp
    data/attachment_paths_test.cpp)
if(NOT WIN32)
    list(APPEND QV_DATA_TESTS data/list_memory_test.cpp)
endif()
qv_add_test(data_tests SOURCES ${QV_DATA_TESTS} LIBS qv_reference)
qv_link_product(data_tests)

# Workbooks: the package reader, the XML pull reader under it, the number
# formats and the sheets, over workbooks openpyxl writes at build time
# (Debian's python3, where python3-openpyxl is).
set(QV_WORKBOOKS ${CMAKE_BINARY_DIR}/workbooks)
add_custom_command(OUTPUT ${QV_WORKBOOKS}/stamp
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/workbook/make-workbooks ${QV_WORKBOOKS}
    COMMAND ${CMAKE_COMMAND} -E touch ${QV_WORKBOOKS}/stamp
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/workbook/make-workbooks
    COMMENT "Writing the test workbooks")
add_custom_target(qv_test_workbooks DEPENDS ${QV_WORKBOOKS}/stamp)
qv_add_test(workbook_tests SOURCES workbook/zip_package_test.cpp workbook/xml_pull_test.cpp
                           workbook/number_format_test.cpp workbook/workbook_test.cpp
                           workbook/workbook_list_test.cpp workbook/ods_test.cpp
                           LIBS ZLIB::ZLIB)
target_include_directories(workbook_tests PRIVATE workbook)
add_dependencies(workbook_tests qv_test_workbooks)
if(WIN32)
    # Wine's Z: drive is the host's root.
    string(REPLACE "/" "\\\\" QV_WORKBOOKS_WINDOWS "${QV_WORKBOOKS}/")
    target_compile_definitions(workbook_tests PRIVATE "QV_TEST_WORKBOOKS=\"Z:${QV_WORKBOOKS_WINDOWS}\"")
    string(REPLACE "/" "\\\\" QV_CALC_WORKBOOKS_WINDOWS "${CMAKE_CURRENT_SOURCE_DIR}/workbook/libreoffice/")
    target_compile_definitions(workbook_tests PRIVATE
                               "QV_CALC_WORKBOOKS=\"Z:${QV_CALC_WORKBOOKS_WINDOWS}\"")
else()
    target_compile_definitions(workbook_tests PRIVATE "QV_TEST_WORKBOOKS=\"${QV_WORKBOOKS}/\"")
    target_compile_definitions(workbook_tests PRIVATE
                               "QV_CALC_WORKBOOKS=\"${CMAKE_CURRENT_SOURCE_DIR}/workbook/libreoffice/\"")
endif()
qv_link_product(workbook_tests)

# The web add-in's core, called as the task pane calls it (over the
# substitute platform: not in the Windows build).
if(NOT WIN32)
    qv_add_test(web_core_tests SOURCES web/web_core_test.cpp LIBS qv_web_core)
    qv_link_product(web_core_tests)
endif()
