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
#define IDC_chkWindowsCleanup 1118
#define IDC_chkApplicationRules 1119

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
#define IDC_lblWindowsRelated 1213
#define IDC_lblFilesFolders 1214
#define IDC_Line1 1215
#define IDC_cmdWindowsCleanup 1216
#define IDC_cmdAnalyze 1217
#define IDC_lblPolicy 1218
#define IDC_lblDeletePolicy 1219
#define IDC_lblReportsPolicy 1220
#define IDC_chkSchedule 1221
#define IDC_cmbScheduleEvery 1222
#define IDC_cmbScheduleDay 1223
#define IDC_dtScheduleTime 1224
#define IDC_cmdApplicationRules 1225

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

// frmOptions: the window, its tab strip and one child page per tab
#define IDD_OPTIONS 600
#define IDD_OPT_GENERAL 601
#define IDD_OPT_SEARCHING 602
#define IDD_OPT_IFO 603
#define IDD_OPT_IFI 604
#define IDD_OPT_UFI 605
#define IDD_OPT_UDFO 606
#define IDD_OPT_UDFI 607
#define IDD_OPT_COOKIES 608
#define IDD_OPT_BACKUPS 609
#define IDC_tbOptions 1800
#define IDC_cmdAccept 1801
#define IDC_opt_cmdCancel 1802
// General
#define IDC_chkStartWWindows 1810
#define IDC_chkCleanStartup 1811
#define IDC_chkAutoClean 1812
#define IDC_cmbAutoClean1 1813
#define IDC_cmbAutoClean 1814
#define IDC_fmDelete 1815
#define IDC_optRecyclebin 1816
#define IDC_optDelete 1817
#define IDC_optWipe 1818
#define IDC_optZip 1819
#define IDC_chkExtraSecurity 1820
#define IDC_chkRename 1821
#define IDC_txtGenerealBackup 1822
#define IDC_cmdBrowseBackup 1823
#define IDC_chkErrorReports 1824
// Searching
#define IDC_lblSearch 1830
#define IDC_lstSearch 1831
#define IDC_fmSearch 1832
#define IDC_chkSearchFileReference 1833
#define IDC_chkSearchPathReference 1834
#define IDC_fmSearchAdditionalOptions 1835
#define IDC_chkSearchDateReference 1836
#define IDC_dtpSearchFirst 1837
#define IDC_dtpSearchSecond 1838
#define IDC_chkSearchSize 1839
#define IDC_fmSearchSize 1840
#define IDC_optSearcSizeIs 1841
#define IDC_optSearchSizeAtleast 1842
#define IDC_optSearchSizeAtMost 1843
#define IDC_txtSearchSize 1844
#define IDC_chkSearchReadOnly 1845
#define IDC_chkSearchHidden 1846
#define IDC_chkSearchSystem 1847
// Ignore Folders
#define IDC_chkIFO 1850
#define IDC_txtUDIFO 1851
#define IDC_cmdUDIFOBrowse 1852
#define IDC_cmdUDIFOAdd 1853
#define IDC_cmdUDIFOExplore 1854
#define IDC_cmdUDIFORedundant 1855
#define IDC_cmdUDIFORemove 1856
#define IDC_lstUDIFO 1857
// Ignore Files
#define IDC_chkIFI 1860
#define IDC_lstIFI 1861
#define IDC_txtIFI 1862
#define IDC_cmdIFIAdd 1863
#define IDC_cmdIFIBrowse 1864
#define IDC_cmdIFIRemove 1865
#define IDC_cmdIFIDefaults 1866
#define IDC_chkIE 1867
#define IDC_lstIE 1868
#define IDC_txtIE 1869
#define IDC_cmdIEAdd 1870
#define IDC_cmdIERemove 1871
// Unnecessary Files
#define IDC_lstvUnnecessaaryFiles 1880
#define IDC_txtUnnecessaryFilesFileType 1881
#define IDC_txtUnnecessaryFilesDescription 1882
#define IDC_cmdUnnecessaryFilesAdd 1883
#define IDC_cmdUnnecessaryFilesBrowse 1884
#define IDC_cmdUnnecessaryFilesDefaults 1885
#define IDC_cmdUnnecessaryFilesRemove 1886
// User defined folders
#define IDC_txtUDFOFolder 1890
#define IDC_cmdUDFOBrowse 1891
#define IDC_cmdUDFOAdd 1892
#define IDC_cmdUDFORemove 1893
#define IDC_cmdUDFORRedundant 1894
#define IDC_cmdExploreUDFO 1895
#define IDC_cmdUDFODefaults 1896
#define IDC_lstUDFO 1897
// User defined files
#define IDC_txtUDFI 1900
#define IDC_cmdUFIBrowse 1901
#define IDC_cmdUDFIAdd 1902
#define IDC_cmdUDFIRemove 1903
#define IDC_lstUDFI 1904
#define IDC_chkUDFI 1905
// Keep Cookies
#define IDC_txtCookies 1910
#define IDC_lstvCurrentCookies 1911
#define IDC_lstvKeepCookies 1912
#define IDC_cmdAddCookie 1913
#define IDC_cmdRemoveCookie 1914
#define IDC_cmdResetCookies 1915
#define IDC_cmdDeleteCookie 1916
#define IDC_cmdViewCookie 1917
#define IDC_cmdRefreshCookie 1918
// Backups
#define IDC_txtBackup 1920
#define IDC_cmdBackupBrowse 1921
#define IDC_fmBackup 1922
#define IDC_optBackupAlways 1923
#define IDC_optBackupNewer 1924
#define IDC_optBackupPrompt 1925
#define IDC_optBackupNever 1926
#define IDC_lstvZip 1927
#define IDC_cmdBackupRestore 1928
#define IDC_cmdBackupDelete 1929
#define IDC_cmdBackupView 1930

// frmUnzip
#define IDD_UNZIP 620
#define IDC_lvwZip 1940
#define IDC_lblStatus 1941
#define IDC_cmdRestoreChecked 1942

// The registry undo file viewer
#define IDD_REGFILE 625
#define IDC_reg_txtContent 1945
#define IDC_reg_cmdRestore 1946
#define IDC_reg_cmdClose 1947

// frmCookies
#define IDD_COOKIES 630
#define IDC_Lst_Cook 1950
#define IDC_cookies_cmdOK 1951

// frmAutoUpdate
#define IDD_UPDATE 640
#define IDC_up_Label1 1960
#define IDC_up_ListView1 1961
#define IDC_up_StatusBar1 1962
#define IDC_cmdProceed 1963
#define IDC_up_cmdCancel 1964

// frmWindowsCleanup
#define IDD_WINDOWS_CLEANUP 660
#define IDC_lstvWindowsCleanup 1990
#define IDC_lblWindowsCleanup 1991

// frmAnalysis and the list of one of its rows
#define IDD_ANALYSIS 670
#define IDD_ANALYSIS_ITEMS 671
#define IDC_lstvAnalysis 1995
#define IDC_lblAnalysis 1996

// frmApplicationRules
#define IDD_APPLICATION_RULES 680
#define IDC_lstvRules 1997
#define IDC_lblRules 1998
#define IDC_cmdRulePreview 1999

// frmIECache
#define IDD_IECACHE 650
#define IDC_lstvCache 1970
#define IDC_fmDisplay 1971
#define IDC_optAll 1972
#define IDC_optCookies 1973
#define IDC_optHistory 1974
#define IDC_optURL 1975
#define IDC_wbCache 1976
#define IDC_lblSTatus 1977
#define IDC_lblDisplaying 1978
#define IDC_lblHint 1979
#define IDC_cache_cmdView 1980
#define IDC_cmdRefresh 1981
#define IDC_cache_cmdDelete 1982
#define IDC_cmdClear 1983
#define IDC_cache_cmdClose 1984
