# The Debian package, built with CPack's DEB generator from the same install rules as
# `cmake --install` (cd build && cpack -G DEB): both programs, their man pages and the licence.
# dpkg-shlibdeps (Debian's dpkg-dev) reads the programs' shared libraries and declares them,
# ISA-L's libisal2 among them, so the dependencies follow what is really linked.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/ppi-refine RENAME copyright)
install(FILES README.md CHANGELOG.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/ppi-refine)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ppi-refine)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "ppi-refine maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "refine protein-protein interaction networks by their topology")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "ppi-refine removes poorly supported interactions from a protein-protein interaction
network and adds missing ones, using the scores of its pair scorer vornel
(shared partners, Jaccard, Dice, Czekanowski-Dice, Adamic-Adar, resource
allocation, an iterative weighted Czekanowski-Dice, paths of length three and
their weighted forms). vornel reads plain edge lists and the tables of STRING,
BioGRID, PSI-MITAB, HuRI and BioPlex, also gzip-compressed.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
include(CPack)
