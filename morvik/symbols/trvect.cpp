// The names of the BASIC runtimes' call-vector entries by their offset in
// the transfer vector and in the string vector.
#include "morvik/symbols/trvect.h"

#include <algorithm>
#include <iterator>

namespace morvik {

namespace {

struct VectorEntry {
  uint32_t offset;
  const char* name;
};

// Offsets are decimal, as the runtimes' listings give them.
constexpr VectorEntry kTransferVector[] = {
    {69, "_cb_fkey"}, {78, "_cb_akey"}, {87, "_cb_constat"}, {96, "_cb_ppmt"}, {105, "_cb_icln"},
    {114, "_cb_icsh"}, {123, "_cb_icrh"}, {132, "_cb_ic1h"}, {141, "_cb_icih"}, {150, "_cb_ic4h"},
    {159, "_cb_conchar"}, {168, "_cb_inky"}, {177, "_cb_idsh"}, {186, "_cb_idrh"}, {195, "_cb_id1h"},
    {204, "_cb_idih"}, {213, "_cb_id4h"}, {222, "_cb_delr"}, {231, "_cb_chdir"}, {240, "_cb_mkdir"},
    {249, "_cb_rmdir"}, {258, "_cb_cseq"}, {267, "_cb_crnd"}, {276, "_cb_ckey"}, {285, "_cb_keyv"},
    {294, "_cb_point"}, {303, "_cb_ptrn"}, {312, "_cb_link"}, {321, "_cb_bind"}, {330, "_cb_quie"},
    {339, "_cb_locate"}, {348, "_cb_clears"}, {357, "_cb_lock"}, {366, "_cb_unlock"}, {375, "_cb_option"},
    {384, "_cb_pcss"}, {393, "_cb_pc1s"}, {402, "_cb_pcis"}, {411, "_cb_pc4s"}, {420, "_cb_pcrs"},
    {429, "_cb_pc1n"}, {438, "_cb_pcin"}, {447, "_cb_pc4n"}, {456, "_cb_pcrn"}, {465, "_cb_pcnl"},
    {474, "_cb_pc1c"}, {483, "_cb_pcic"}, {492, "_cb_pc4c"}, {501, "_cb_pcrc"}, {510, "_cb_pcsn"},
    {519, "_cb_pcsc"}, {528, "_cb_pos"}, {537, "_cb_pcts"}, {546, "_cb_pctc"}, {555, "_cb_pctn"},
    {564, "_cb_lprinter"}, {573, "_cb_puss"}, {582, "_cb_ecpr"}, {591, "_cb_bform"}, {600, "_cb_rename"},
    {609, "_cb_size"}, {618, "_cb_wait"}, {627, "_cb_event"}, {636, "_cb_match"}, {645, "dnval"},
    {654, "dival"}, {663, "_cb_create"}, {672, "_cb_open"}, {681, "_cb_dref"}, {690, "_cb_drec"},
    {699, "_cb_fget"}, {708, "_cb_getl"}, {717, "_cb_iflh"}, {726, "_cb_if1h"}, {735, "_cb_ifih"},
    {744, "_cb_if4h"}, {753, "_cb_ifrh"}, {762, "_cb_ifsh"}, {771, "_cb_edfr"}, {780, "_cb_put"},
    {789, "_cb_plong"}, {798, "_cb_pdsf"}, {807, "_cb_pdrf"}, {816, "_cb_pd1f"}, {825, "_cb_pdif"},
    {834, "_cb_pd4f"}, {843, "_cb_pdse"}, {852, "_cb_pdre"}, {861, "_cb_pd1e"}, {870, "_cb_pdie"},
    {879, "_cb_pd4e"}, {888, "_cb_w1bi"}, {897, "_cb_w2bi"}, {906, "_cb_w4bi"}, {915, "_cb_wbcd"},
    {924, "_cb_wstr"}, {933, "_cb_ew1i"}, {942, "_cb_ew2i"}, {951, "_cb_ew4i"}, {960, "_cb_ewbcd"},
    {969, "_cb_ewstr"}, {978, "_cb_close"}, {987, "_cb_stop"}, {1028, "_cb_delete"}, {1037, "_cb_access"},
    {1046, "_cb_flush"}, {1055, "_cb_freetotal"}, {1064, "_cb_freemax"}, {1073, "_cb_malloc"},
    {1082, "_cb_free"}, {1091, "_fld_add"}, {1100, "_fld_sub"}, {1109, "_fld_mul"}, {1118, "_fld_div"},
    {1127, "_fld_subr"}, {1136, "_fld_divr"}, {1145, "_fld_cmp"}, {1154, "_fld_cfi32"}, {1164, "_fld_cfi32r"},
    {1174, "_fld_cfi16"}, {1184, "_fld_cfi8"}, {1194, "_fld_cti32"}, {1203, "_fld_cti16"},
    {1212, "_fld_cti8"}, {1221, "_fld_cfbl"}, {1231, "_cb_round"}, {1240, "_fld_assn"}, {1249, "di.sgn"},
    {1258, "n.random"}, {1267, "di.rnd"}, {1276, "di.int"}, {1285, "dn.int"}, {1294, "_fld_neg"},
    {1303, "_fld_abs"}, {1312, "_push_fld"}, {1321, "_cb_peek"}, {1330, "_cb_poke"}, {1339, "_cb_inp"},
    {1348, "_cb_out"}, {1357, "_cb_ei32"}, {1366, "c.str"}, {1375, "c.stri"}, {1384, "c.set.di"},
    {1394, "c.set.dn"}, {1404, "c.set.t1"}, {1414, "c.set.tn"}, {1424, "_cb_tran"}, {1433, "_cb_prolog"},
    {1443, "_cb_epilog"}, {1452, "_cb_epistr"}, {1461, "o.dim.basic"}, {1470, "c.copy"}, {1479, "_cb_asc"},
    {1489, "_cb_abs"}, {1499, "_cb_sgn"}, {1509, "_fld_exp"}, {1518, "_flx_expr"}, {1527, "o.command"},
    {1536, "_cb_init"}, {1549, "_cb_restore"}, {1558, "o.rsubs15"}, {1567, "o.rsubs14"}, {1576, "o.rsubs13"},
    {1585, "o.rsubs12"}, {1594, "o.rsubs11"}, {1603, "o.rsubs10"}, {1612, "o.rsubs9"}, {1621, "o.rsubs8"},
    {1630, "o.rsubs7"}, {1639, "o.rsubs6"}, {1648, "o.rsubs5"}, {1657, "o.rsubs4"}, {1666, "o.rsubs3"},
    {1675, "o.rsubs2"}, {1684, "o.rsubs1"}, {1693, "s.date"}, {1702, "s.time"}, {1711, "_cb_strch"},
    {1720, "_cb_realch"}, {1729, "_cb_i2ch"}, {1738, "_cb_i4ch"}, {1747, "_cb_chain"}, {1756, "         "},
    {1765, "_cb_iuse"}, {1774, "_cb_ui1 "}, {1783, "_cb_ui2"}, {1792, "_cb_ui4"}, {1801, "_cb_ubcd"},
    {1810, "_cb_ustr"}, {1819, "_cb_euse"}, {1828, "_cb_resume"}, {1837, "_cb_ondr"}, {1846, "_cb_err"},
    {1855, "_cb_errl"}, {1864, "_cb_errf"}, {1873, "_cb_errn"}, {1882, "_cb_lnum"}, {1891, "_cb_ifed"},
    {1900, "_cb_enable"}, {1909, "_cb_disable"}, {1918, "_cb_asyncerr"}, {1927, "_cb_serr_addr"},
    {1936, "_cb_rerr_addr"}, {1945, "_cb_storer"}, {1954, "_cb_freel"}, {1963, "_add_s32"},
    {1972, "_add1_s32"}, {1981, "_add2_s32"}, {1990, "_add3_s32"}, {1999, "_add4_s32"}, {2008, "_add5_s32"},
    {2017, "_add6_s32"}, {2026, "_add7_s32"}, {2035, "_sub_s32"}, {2044, "_sub1_s32"}, {2053, "_sub2_s32"},
    {2062, "_sub3_s32"}, {2071, "_sub4_s32"}, {2080, "_sub5_s32"}, {2089, "_sub6_s32"}, {2098, "_sub7_s32"},
    {2107, "_mul_s32"}, {2116, "_mul1_s32"}, {2125, "_mul2_s32"}, {2134, "_mul3_s32"}, {2143, "_mul4_s32"},
    {2152, "_mul5_s32"}, {2161, "_mul6_s32"}, {2170, "_mul7_s32"}, {2179, "_div_s32"}, {2188, "_div1_s32"},
    {2197, "_div2_s32"}, {2206, "_div3_s32"}, {2215, "_div4_s32"}, {2224, "_div5_s32"}, {2233, "_div6_s32"},
    {2242, "_div7_s32"}, {2251, "_rem_s32"}, {2260, "_rem1_s32"}, {2269, "_rem2_s32"}, {2278, "_rem3_s32"},
    {2287, "_rem4_s32"}, {2296, "_rem5_s32"}, {2305, "_rem6_s32"}, {2314, "_rem7_s32"},
    {2323, "c.substr.fil"}, {2332, "c.right.vi"}, {2341, "_cb_matr"}, {2350, "_cb_arn"}, {2359, "OMKFNUM"},
};

constexpr VectorEntry kStringVector[] = {
    {0, "_cb.init"}, {5, "cb_fkey"}, {13, "cb_akey"}, {21, "cb_constat"}, {29, "cb_ppmt"}, {37, "cb_icln"},
    {45, "cb_icsh"}, {53, "cb_icrh"}, {61, "cb_ic1h"}, {69, "cb_icih"}, {77, "cb_ic4h"}, {85, "cb_conchar"},
    {93, "cb_inky"}, {101, "cb_idsh"}, {109, "cb_idrh"}, {117, "cb_id1h"}, {125, "cb_idih"}, {133, "cb_id4h"},
    {141, "cb_delr"}, {149, "cb_chdir"}, {157, "cb_mkdir"}, {165, "cb_rmdir"}, {173, "cb_cseq"},
    {181, "cb_crnd"}, {189, "cb_ckey"}, {197, "cb_keyv"}, {205, "cb_point"}, {213, "cb_ptrn"},
    {221, "cb_link"}, {229, "cb_bind"}, {237, "cb_quie"}, {245, "cb_locate"}, {253, "cb_clears"},
    {261, "cb_lock"}, {269, "cb_unlock"}, {277, "cb_option"}, {285, "cb_pcss"}, {293, "cb_pc1s"},
    {301, "cb_pcis"}, {309, "cb_pc4s"}, {317, "cb_pcrs"}, {325, "cb_pc1n"}, {333, "cb_pcin"},
    {341, "cb_pc4n"}, {349, "cb_pcrn"}, {357, "cb_pcnl"}, {365, "cb_pc1c"}, {373, "cb_pcic"},
    {381, "cb_pc4c"}, {389, "cb_pcrc"}, {397, "cb_pcsn"}, {405, "cb_pcsc"}, {413, "cb_pos"}, {421, "cb_pcts"},
    {429, "cb_pctc"}, {437, "cb_pctn"}, {445, "cb_lprinter"}, {453, "cb_puss"}, {461, "cb_ecpr"},
    {469, "cb_bform"}, {477, "cb_rename"}, {485, "cb_size"}, {493, "cb_wait"}, {501, "cb_event"},
    {509, "cb_match"}, {517, "_dnval"}, {525, "_dival"}, {533, "cb_create"}, {541, "cb_open"},
    {549, "cb_dref"}, {557, "cb_drec"}, {565, "cb_fget"}, {573, "cb_getl"}, {581, "cb_iflh"},
    {589, "cb_if1h"}, {597, "cb_ifih"}, {605, "cb_if4h"}, {613, "cb_ifrh"}, {621, "cb_ifsh"},
    {629, "cb_edfr"}, {637, "cb_put"}, {645, "cb_plong"}, {653, "cb_pdsf"}, {661, "cb_pdrf"},
    {669, "cb_pd1f"}, {677, "cb_pdif"}, {685, "cb_pd4f"}, {693, "cb_pdse"}, {701, "cb_pdre"},
    {709, "cb_pd1e"}, {717, "cb_pdie"}, {725, "cb_pd4e"}, {733, "cb_w1bi"}, {741, "cb_w2bi"},
    {749, "cb_w4bi"}, {757, "cb_wbcd"}, {765, "cb_wstr"}, {773, "cb_ew1i"}, {781, "cb_ew2i"},
    {789, "cb_ew4i"}, {797, "cb_ewbcd"}, {805, "cb_ewstr"}, {813, "cb_close"}, {821, "cb_stop"},
    {829, "cb_delete"}, {837, "cb_access"}, {845, "cb_flush"}, {853, "_m_freetotal"}, {861, "_m_freemax"},
    {869, "cb_malloc"}, {877, "cb_free"}, {885, "fld_add"}, {890, "fld_sub"}, {895, "fld_mul"},
    {900, "fld_div"}, {905, "fld_subr"}, {910, "fld_divr"}, {915, "fld_cmp"}, {920, "fld_cfi32"},
    {925, "fld_cfi32r"}, {930, "fld_cfi16"}, {935, "fld_cfi8"}, {940, "fld_cti32"}, {945, "fld_cti16"},
    {950, "fld_cti8"}, {955, "fld_cfbl"}, {960, "cb_round"}, {965, "fld_assn"}, {970, "_di.sgn"},
    {975, "_n.random"}, {980, "_dn.rnd"}, {985, "_di.int"}, {990, "_dn.int"}, {995, "fld_neg"},
    {1000, "fld_abs"}, {1005, "__push_fld"}, {1010, "cb_peek"}, {1015, "cb_poke"}, {1020, "cb_inp"},
    {1025, "cb_out"}, {1030, "cb_strch"}, {1038, "cb_realch"}, {1046, "cb_i1ch"}, {1054, "cb_i2ch"},
    {1062, "cb_i4ch"}, {1070, "cb_chain"}, {1078, "cb_iuse"}, {1086, "cb_ui1"}, {1094, "cb_ui2"},
    {1102, "cb_ui4"}, {1110, "cb_ubcd"}, {1118, "cb_ustr"}, {1126, "cb_euse"}, {1134, "cb_ei32"},
    {1139, "cb_storer"}, {1147, "cb_freel"}, {1155, "n.exp.i16j16"}, {1160, "_c.str"}, {1165, "_c.stri"},
    {1170, "_set.d1"}, {1175, "_set.dn"}, {1180, "_set.t1"}, {1185, "_set.tn"}, {1190, "c.length.1"},
    {1195, "c.length.n"}, {1200, "cb_tran"}, {1205, "cb_prolog"}, {1210, "cb_epilog"}, {1215, "cb_epistr"},
    {1220, "_o.dim.basic"}, {1225, "c.rank"}, {1230, "_cb_pack"}, {1235, "_cb_unpk"}, {1240, "_c.copy"},
    {1245, "c.upper"}, {1250, "a.shift.r"}, {1255, "cb_asc"}, {1260, "cb_abs"}, {1265, "cb_sgn"},
    {1270, "fld_exp"}, {1275, "fld_expr"}, {1280, "_cb_finit"}, {1285, "_c.substr.fil"},
    {1290, "_c.right.vi"}, {1295, "c.compare"}, {1300, "_o.command"}, {1305, "cb_init"}, {1310, "cb_restore"},
    {1315, "_o.rsubs15"}, {1320, "_o.rsubs14"}, {1325, "_o.rsubs13"}, {1330, "_o.rsubs12"},
    {1335, "_o.rsubs11"}, {1340, "_o.rsubs10"}, {1345, "_o.rsubs9"}, {1350, "_o.rsubs8"}, {1355, "_o.rsubs7"},
    {1360, "_o.rsubs6"}, {1365, "_o.rsubs5"}, {1370, "_o.rsubs4"}, {1375, "_o.rsubs3"}, {1380, "_o.rsubs2"},
    {1385, "_o.rsubs1"}, {1390, "c.vararg"}, {1395, "_s.date"}, {1400, "_s.time"}, {1405, "cb_resume"},
    {1410, "cb_oner"}, {1415, "cb_err"}, {1420, "cb_errl"}, {1425, "cb_errf"}, {1430, "cb_errn"},
    {1435, "cb_lnum"}, {1440, "cb_ifed"}, {1445, "cb_enable"}, {1450, "cb_disable"}, {1455, "cb_asyncerr"},
    {1460, "cb_serr_addr"}, {1465, "cb_rerr_addr"}, {1470, "_not_s32"}, {1475, "_neg_s32"},
    {1480, "_inc1_s32"}, {1485, "_dec1_s32"}, {1490, "_abs_s32"}, {1495, "_and_s32"}, {1500, "_or_s32"},
    {1505, "_xor_s32"}, {1510, "_ass_s32"}, {1515, "_ass1_s32"}, {1520, "_ass2_s32"}, {1525, "__add_s32"},
    {1530, "__add1_s32"}, {1535, "__add2_s32"}, {1540, "__add3_s32"}, {1545, "__add4_s32"},
    {1550, "__add5_s32"}, {1555, "__add6_s32"}, {1560, "__add7_s32"}, {1565, "__sub_s32"},
    {1570, "__sub1_s32"}, {1575, "__sub2_s32"}, {1580, "__sub3_s32"}, {1585, "__sub4_s32"},
    {1590, "__sub5_s32"}, {1595, "__sub6_s32"}, {1600, "__sub7_s32"}, {1605, "__mul_s32"},
    {1610, "__mul1_s32"}, {1615, "__mul2_s32"}, {1620, "__mul3_s32"}, {1625, "__mul4_s32"},
    {1630, "__mul5_s32"}, {1635, "__mul6_s32"}, {1640, "__mul7_s32"}, {1645, "__div_s32"},
    {1650, "__div1_s32"}, {1655, "__div2_s32"}, {1660, "__div3_s32"}, {1665, "__div4_s32"},
    {1670, "__div5_s32"}, {1675, "__div6_s32"}, {1680, "__div7_s32"}, {1685, "__rem_s32"},
    {1690, "__rem1_s32"}, {1695, "__rem2_s32"}, {1700, "__rem3_s32"}, {1705, "__rem4_s32"},
    {1710, "__rem5_s32"}, {1715, "__rem6_s32"}, {1720, "__rem7_s32"}, {1725, "b_eror"}, {1730, "cb_matr"},
    {1738, "cb_arn"}, {1746, "cb_fnum"}, {1754, "cb_stop2"},
};

template <size_t N>
const char* lookup(const VectorEntry (&table)[N], uint32_t offset) {
  auto it = std::lower_bound(std::begin(table), std::end(table), offset,
                             [](const VectorEntry& e, uint32_t v) { return e.offset < v; });
  return it != std::end(table) && it->offset == offset ? it->name : nullptr;
}

}  // namespace

const char* rtname(uint32_t offset) { return lookup(kTransferVector, offset); }

const char* strvectName(uint32_t offset) { return lookup(kStringVector, offset); }

}  // namespace morvik
