# The Debian package of both programs (cpack -G DEB, see scripts/package).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velkan-fee-tools)
set(CPACK_PACKAGE_VENDOR "Tavi")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavi <support@tavi.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "septic-tank fee revision tools (export and import of the fee workbook)")
set(CPACK_PACKAGE_DESCRIPTION
    "浄化槽金額データ出力 (VelkanDataExport) writes the current contract-breakdown and
billing amounts of the septic-tank system's database into an .xls workbook;
消費税対応処理(データ取込) (VelkanDataImport) reads the revised amounts typed into
that workbook back into the database.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies come from dpkg-shlibdeps. The xcb platform plugin is
# only recommended by Qt, but without it no window can open; the font is what
# ＭＳ ゴシック resolves to (fontconfig alias in the package).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-ipafont-gothic, fontconfig")
# Japanese texts of Qt's own dialogs (file dialog buttons, Yes/No).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")

include(CPack)
