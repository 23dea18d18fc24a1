# The mailbox file picker (frmDBX) as a library for the windowed program and
# its tests: include() this from ui/CMakeLists.txt and link keldor_picker.
if(NOT TARGET keldor_picker)
    find_package(Qt6 REQUIRED COMPONENTS Widgets)
    add_library(keldor_picker STATIC
        ${PROJECT_SOURCE_DIR}/ui/frm_dbx.cpp ${PROJECT_SOURCE_DIR}/ui/frm_dbx.h
        ${PROJECT_SOURCE_DIR}/ui/report_list.cpp ${PROJECT_SOURCE_DIR}/ui/report_list.h)
    set_target_properties(keldor_picker PROPERTIES AUTOMOC ON)
    target_link_libraries(keldor_picker PUBLIC keldor_core Qt6::Widgets PRIVATE keldor_warnings)
endif()
