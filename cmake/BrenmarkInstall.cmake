# Installs one library of the package: the target into the library folder,
# its export set beside BrenmarkConfig.cmake (namespace Brenmark::), and its
# pkg-config file made from cmake/<pc_name>.pc.in. Each .pc file finds its
# prefix relative to itself, so the installed package can move.
function(brenmark_install_library target export_set pc_name)
  install(TARGETS ${target} EXPORT ${export_set}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(EXPORT ${export_set} NAMESPACE Brenmark::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Brenmark)
  file(RELATIVE_PATH BRENMARK_PC_TO_PREFIX "${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig"
    "${CMAKE_INSTALL_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc_name}.pc.in ${PROJECT_BINARY_DIR}/${pc_name}.pc
    @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${pc_name}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
