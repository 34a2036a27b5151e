// Resource ids. Control names of the system stay visible in the id names.
#pragma once

#define IDI_APP 1
#define IDI_CHECK 2
#define IDI_BUSY 3

#define IDD_MAIN 100
#define IDR_MAINMENU 101

// frmMain: category check boxes, id = IDC_CATEGORY_FIRST + store position
#define IDC_CATEGORY_FIRST 1100
#define IDC_chkRecycleBin 1100
#define IDC_chkUserDefinedFolders 1101
#define IDC_chkRunMRU 1102
#define IDC_chkUserDefinedFiles 1103
#define IDC_chkUnNecessaryFiles 1104
#define IDC_chkEmptyFiles 1105
#define IDC_chkDeadShortcut 1106
#define IDC_chkRecentDocument 1107
#define IDC_chkPrinter 1108
#define IDC_chkDump 1109
#define IDC_chkHistory 1110
#define IDC_chkCache 1111
#define IDC_chkCookies 1112
#define IDC_chkFavorites 1113
#define IDC_chkURLHistory 1114
#define IDC_chkOffline 1115
#define IDC_chkClipBoard 1116
#define IDC_chkOffice 1117

#define IDC_cmdClean 1200
#define IDC_cmdStop 1201
#define IDC_cmdExit 1202
#define IDC_cmdSelectAll 1203
#define IDC_cmdDeselect 1204
#define IDC_picStatus 1205
#define IDC_pgClean 1206
#define IDC_lblLastCleaned 1207
#define IDC_lblCleanDate 1208
#define IDC_CleanPro 1209
#define IDC_Frame2 1210
#define IDC_Frame3 1211
#define IDC_Frame4 1212

// frmMain menus
#define IDM_mnuClean 2001
#define IDM_mnuOptions 2002
#define IDM_mnuchkupdate 2003
#define IDM_mnuExit 2004
#define IDM_mnuStartup 2010
#define IDM_mnuFileAssociations 2011
#define IDM_mnuUninstall 2012
#define IDM_mnuOrphanedDLL 2013
#define IDM_mnuOrphanedFilePath 2014
#define IDM_mnuOrphanedHelpFile 2015
#define IDM_mnuOrphanedApplicationPath 2016
#define IDM_mnuOrphanedActivex 2017
#define IDM_mnuIECache 2018
#define IDM_mnuIEApplet 2019

// frmMain: check marks (id = IDC_CHECKMARK_FIRST + store) and activity pictures
#define IDC_CHECKMARK_FIRST 1300
#define IDC_imgInternet 1330
#define IDC_imgWindows 1331
#define IDC_imgFiles 1332
#define IDM_mnuPopup 2100

// frmLog
#define IDD_LOG 200
#define IDR_LOGMENU 201
#define IDC_txtLog 1400
#define IDM_LOG_mnuSave 2200
#define IDM_LOG_mnuExit 2201

// frmDeletetion
#define IDD_DELETION 300
#define IDR_DELETIONMENU 301
#define IDC_lstvDeletion 1500
#define IDC_lblTotalFiles 1501
#define IDC_Picture1 1502
#define IDC_del_cmdSelectAll 1503
#define IDC_del_cmdDeselectAll 1504
#define IDC_cmdDeleteAll 1505
#define IDC_cmdDeleteChecked 1506
#define IDC_del_cmdExit 1507
#define IDM_mnuDeleteAll 2300
#define IDM_mnuDeleteSelected 2301
#define IDM_mnuProperties 2302
#define IDM_mnuAbort 2303
#define IDM_del_mnuExit 2304
#define IDM_mnuSelectAll 2305
#define IDM_mnuDeselectAll 2306
#define IDM_mnuInvertSecletion 2307

// frmOverwrite
#define IDD_OVERWRITE 400
#define IDC_lblCaption 1600
#define IDC_cmdYes 1601
#define IDC_cmdNo 1602
#define IDC_ow_cmdCancel 1603
#define IDC_chkAllFiles 1604

// Registry scan windows (one template, the absent controls hidden)
#define IDD_SCAN 500
#define IDC_scan_list 1700
#define IDC_scan_lblStatus 1701
#define IDC_scan_pgKeys 1702
#define IDC_scan_chkDelete 1703
#define IDC_scan_cmdFind 1704
#define IDC_scan_cmdStop 1705
#define IDC_scan_cmdEdit 1706
#define IDC_scan_cmdDelete 1707
#define IDC_scan_cmdClose 1708
#define IDC_scan_fmResize 1709

// frmEditAppPath / frmEditHelp
#define IDD_EDITPATH 510
#define IDC_edit_lblWhat 1720
#define IDC_edit_lblName 1721
#define IDC_edit_lblPath 1722
#define IDC_edit_txtPath 1723
#define IDC_edit_cmdOk 1724
#define IDC_edit_cmdBrowse 1725
#define IDC_edit_cmdClose 1726

// frmwait
#define IDD_WAIT 520
#define IDC_edit_lblDescWhat 1727
#define IDC_edit_lblDesc 1728

// frmExplorer
#define IDD_EXPLORER 530
#define IDR_EXPLORERMENU 531
#define IDC_lblDrive 1740
#define IDC_cmbDrives 1741
#define IDC_tvwFolders 1742
#define IDC_lstvFiles 1743
#define IDC_lblMask 1744
#define IDC_txtMask 1745
#define IDC_cmdApply 1746
#define IDC_lblFiles 1747
#define IDM_mnuFile 2400
#define IDM_mnuOpen 2401
#define IDM_mnuDeleteFile 2402
#define IDM_mnuFileProperties 2403
#define IDM_mnuExplorerExit 2404
#define IDM_mnuDeleteFolder 2405
#define IDM_mnuFolderProperties 2406
#define IDM_ex_mnuSelectAll 2407
#define IDM_ex_mnuDeselectAll 2408
#define IDM_mnuInvertSelection 2409
#define IDM_mnuFileExplorer 2020
