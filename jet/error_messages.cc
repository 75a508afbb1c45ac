// The wording of every failure, in the product's language (Simplified Chinese). A message
// names the objects concerned and ends without a full stop: the window adds one. Messages
// that Access itself shows for the same failure keep Access's words.
#include <array>
#include <cstring>

#include "jet/error.h"

namespace jet {
namespace {

using enum Problem;
using K = ErrorKind;

// What every damage message starts with; the text of the problem says what is damaged.
constexpr const char* kDamagedLead = "数据库文件[ '{file}' ]已损坏[（表 '{table}'）]：";

constexpr std::array kTexts = {
    // The file and the operating system.
    ProblemText{kFileNotFound, K::kNotFound, "找不到文件 '{file}'"},
    ProblemText{kNotAFile, K::kNotFound, "'{file}' 不是文件，不能作为数据库打开"},
    ProblemText{kFileInUse, K::kInUse, "数据库 '{file}' 正被其他程序使用"},
    ProblemText{kFileReadOnly, K::kReadOnly, "数据库 '{file}' 是只读的，不能更新"},
    ProblemText{kAccessDenied, K::kReadOnly, "没有访问文件 '{file}' 的权限"},
    ProblemText{kFileExists, K::kInvalid, "文件 '{file}' 已存在"},
    ProblemText{kDiskFull, K::kIo, "磁盘已满：无法写入文件 '{file}'"},
    ProblemText{kCannotOpen, K::kIo, "无法打开文件 '{file}'[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotLock, K::kIo, "无法锁定文件 '{file}'[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotRead, K::kIo,
                "读取文件 '{file}' 时发生磁盘错误[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotWrite, K::kIo,
                "写入文件 '{file}' 时发生磁盘错误[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotFlush, K::kIo,
                "无法把文件 '{file}' 的数据写到磁盘上[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotResize, K::kIo,
                "无法改变文件 '{file}' 的大小[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotCreate, K::kIo,
                "无法创建文件 '{file}'[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kCannotRemove, K::kIo,
                "无法删除文件 '{file}'[：{detail}][（系统错误码 {number}）]"},
    ProblemText{kNotRestored, K::kIo, "数据库 '{file}' 在写入失败后未能恢复原状，请关闭后重新打开"},
    ProblemText{kRecoveryFailed, K::kIo,
                "数据库 '{file}' 有一次未完成的修改需要先撤销，但撤销失败[：{detail}]"},
    ProblemText{
        kJournalNotOurs, K::kIo,
        "数据库 '{file}' 旁边有一个文件 "
        "'{name}'，它占用了本程序日志文件的名字，却不是本程序的日志。"
        "本程序无法确认数据库是否完整，因此不打开它，也不改动这两个文件。请查明这个文件的来历，"
        "把它移到别处后再试"},
    ProblemText{
        kJournalUnreadable, K::kIo,
        "数据库 '{file}' 有一次修改被中断，但它的日志文件 '{name}' 不完整或已损坏，"
        "无法确认数据库是否完整。本程序没有改动这两个文件。请运行 'jetdb journal' 检查并处理，"
        "再打开数据库"},
    ProblemText{
        kJournalOtherDatabase, K::kIo,
        "日志文件 '{name}' 不属于数据库 '{file}'，而属于另一个数据库（可能是从别处复制来的）。"
        "本程序没有改动这两个文件。请运行 'jetdb journal' 检查并处理，再打开数据库"},
    ProblemText{kJournalFileChanged, K::kIo,
                "数据库 '{file}' 有一次修改被中断（日志文件 '{name}'），而此后数据库又被改动过"
                "[（第 {page} 页）]，例如被其他程序写入或用备份替换，因此无法安全地撤销那次修改。"
                "本程序没有改动这两个文件。请运行 'jetdb journal' 检查并处理，再打开数据库"},
    ProblemText{kJournalNoOriginals, K::kIo,
                "数据库 '{file}' 有一次修改被中断，需要撤销，但日志文件 '{name}' "
                "中撤销所需的原始数据不完整。"
                "本程序没有改动这两个文件。请运行 'jetdb journal' 检查并处理，或恢复备份"},
    // The file's format and password.
    ProblemText{kNotJet, K::kUnsupported, "无法识别的数据库格式 '{file}'"},
    ProblemText{kJet3, K::kUnsupported,
                "'{file}' 是 Access 97（Jet 3）格式的数据库，本程序只支持 Access 2000–2003"
                "（Jet 4）格式"},
    ProblemText{kAce, K::kUnsupported,
                "'{file}' 是 Access 2007 或更高版本（ACE）格式的数据库，本程序只支持 Access "
                "2000–2003（Jet 4）格式"},
    ProblemText{kBadPassword, K::kBadPassword, "不是有效的密码"},
    ProblemText{kPasswordTooLong, K::kInvalid, "数据库密码最多 {limit} 个字符"},
    ProblemText{kDatabaseFull, K::kConstraint, "数据库[ '{file}' ]已达到允许的最大大小"},
    // Damage.
    ProblemText{kDamagedFileEnd, K::kCorrupt, "文件在一页的中间结束"},
    ProblemText{kDamagedTooShort, K::kCorrupt, "文件太短，容纳不下系统目录"},
    ProblemText{kDamagedTooLarge, K::kCorrupt, "文件超过了数据库允许的大小"},
    ProblemText{kDamagedPagePastEnd, K::kCorrupt,
                "第 {page} 页超出了文件的末尾[（文件共 {number} 页）]"},
    ProblemText{kDamagedBlockOverrun, K::kCorrupt, "读取越过了[ {number} 字节的]数据块的末尾"},
    ProblemText{kDamagedRow, K::kCorrupt, "[第 {page} 页的]记录的结构无效"},
    ProblemText{kDamagedColumn, K::kCorrupt, "字段 '{column}' 的值越过了记录的末尾"},
    ProblemText{kDamagedDataPage, K::kCorrupt,
                "数据页[（第 {page} 页）]的记录数目或[第 {row} 条]记录的位置无效"},
    ProblemText{kDamagedRowMissing, K::kCorrupt, "第 {page} 页的第 {row} 条记录不存在或已删除"},
    ProblemText{kDamagedRowPointer, K::kCorrupt, "记录指针指向文件之外的第 {page} 页"},
    ProblemText{kDamagedOverflowRow, K::kCorrupt, "溢出记录的指针无效"},
    ProblemText{kDamagedForeignPage, K::kCorrupt, "第 {page} 页不属于该表"},
    ProblemText{kDamagedUsageMap, K::kCorrupt, "页面使用表[（第 {page} 页）]的格式无效"},
    ProblemText{kDamagedUsageMapPage, K::kCorrupt,
                "页面使用表引用的第 {page} 页不是位图页或超出了文件的末尾"},
    ProblemText{kDamagedLongValue, K::kCorrupt, "备注或 OLE 对象值的长度或存储方式无效"},
    ProblemText{kDamagedLongValueChain, K::kCorrupt, "备注或 OLE 对象值的页链断开或形成了循环"},
    ProblemText{kDamagedMissingUsageMap, K::kCorrupt,
                "备注或 OLE 对象字段 '{column}' 没有页面使用表"},
    ProblemText{kDamagedNotDataPage, K::kCorrupt, "应为数据页的[第 {page} ]页类型不符"},
    ProblemText{kDamagedNotIndexPage, K::kCorrupt, "应为索引页的[第 {page} ]页类型不符"},
    ProblemText{kDamagedNotDefinitionPage, K::kCorrupt, "应为表定义页的[第 {page} ]页类型不符"},
    ProblemText{kDamagedDefinition, K::kCorrupt, "表定义中的字段或索引信息无效"},
    ProblemText{kDamagedDefinitionLoop, K::kCorrupt, "表定义的页链形成了循环"},
    ProblemText{kDamagedSystemColumn, K::kCorrupt, "系统表缺少字段 '{column}'"},
    ProblemText{kDamagedColumnType, K::kCorrupt, "字段描述中的类型代码 {number} 未知"},
    ProblemText{kDamagedIndexEntry, K::kCorrupt, "索引页[（第 {page} 页）]中的索引项无效"},
    ProblemText{kDamagedIndexForeignPage, K::kCorrupt, "索引页[（第 {page} 页）]属于另一个表"},
    ProblemText{kDamagedIndexDepth, K::kCorrupt, "索引树的层数超出了可能的范围"},
    ProblemText{kDamagedIndexLoop, K::kCorrupt, "索引树多次引用了第 {page} 页"},
    ProblemText{kDamagedIndexPagePastEnd, K::kCorrupt, "索引引用了文件之外的第 {page} 页"},
    ProblemText{kDamagedUsageMapPastEnd, K::kCorrupt, "页面使用表列出了文件之外的第 {page} 页"},
    ProblemText{kDamagedNotLongValuePage, K::kCorrupt,
                "应为备注或 OLE 对象数据页的[第 {page} ]页类型不符"},
    ProblemText{kDamagedPageType, K::kCorrupt,
                "第 {page} 页的页类型 {number} 不是该表可以拥有的页"},
    ProblemText{kDamagedIndexStructure, K::kCorrupt,
                "索引[ '{index}' ]的页之间的链接或归属不一致[（第 {page} 页）]"},
    ProblemText{kDamagedNoPagesForRows, K::kCorrupt,
                "表定义记有 {number} 条记录，但页面使用表没有列出任何数据页"},
    ProblemText{kDamagedDefinitionChain, K::kCorrupt,
                "表定义的页链接到了另一个表的定义页（第 {page} 页）"},
    ProblemText{kDamagedSharedDefinition, K::kCorrupt,
                "目录中的另一个表 '{name}' 也使用这个表的定义页（第 {page} 页）"},
    ProblemText{kDamagedIndexEntryNoRow, K::kCorrupt,
                "索引[ '{index}' ]中有一项指向第 {page} 页第 {row} 条记录，但那里没有记录"},
    ProblemText{kDamagedLongValueOutsideMap, K::kCorrupt,
                "备注或 OLE 对象值指向第 {page} 页，但该字段的页面使用表没有列出这一页"},
    // A check before a series of changes found damage; {detail} says what, in its own words.
    ProblemText{kDamagedRefusedBeforeWriting, K::kCorrupt,
                "{detail}。文件没有被修改。请先修复它：运行 jetdb repair（与本程序在同一文件夹，"
                "原文件会改名保留为备份），或者用 Access 的“压缩和修复数据库”，或者换用备份，"
                "然后再升级"},
    ProblemText{kDamagedIndexOrder, K::kCorrupt,
                "索引[ '{index}' ]的索引项没有按键排序[（第 {page} 页）]"},
    ProblemText{kDamagedIndexKey, K::kCorrupt,
                "索引[ '{index}' ]中指向第 {page} 页第 {row} 条记录的项，键与这条记录的值不符"},
    ProblemText{kDamagedIndexEntryMissing, K::kCorrupt,
                "索引[ '{index}' ]中没有第 {page} 页第 {row} 条记录的项"},
    ProblemText{kDamagedIndexEntryTwice, K::kCorrupt,
                "索引[ '{index}' ]中有两项指向第 {page} 页第 {row} 条记录"},
    ProblemText{kDamagedCatalogNotListed, K::kCorrupt, "系统目录中没有一行把系统目录本身列为表"},
    ProblemText{kDamagedPageClaimedTwice, K::kCorrupt, "第 {page} 页既属于{name}，又属于{detail}"},
    ProblemText{kDamagedPageClaimedAndFree, K::kCorrupt,
                "第 {page} 页属于{name}，却在空闲页表中标为空闲"},
    ProblemText{kDamagedUsageMapShared, K::kCorrupt,
                "{name}与{detail}存放在同一条记录中（第 {page} 页第 {row} 条记录）"},
    // Not damage.
    ProblemText{
        kNoteRowCount, K::kNote,
        "表定义记有 {number} 条记录，实际有 {limit} 条（Access 自己也会留下这样的差异，不是损坏）"},
    ProblemText{
        kNoteLeakedPages, K::kNote,
        "{number} "
        "页既没有使用，也没有标为空闲（多余的空间，压缩数据库即可收回，不是损坏）[：{detail}]"},
    // Values, rows and keys that do not fit.
    ProblemText{kRecordTooLarge, K::kConstraint, "记录太大[（{number} 字节，最多 {limit} 字节）]"},
    ProblemText{kValueTooLarge, K::kConstraint, "字段 '{column}' 太小，不能接受所要添加的数据"},
    ProblemText{kGuidSize, K::kConstraint, "字段 '{column}' 只接受 16 字节的 GUID 值"},
    ProblemText{kLongValueTooLarge, K::kConstraint,
                "[字段 '{column}' 的]值太大，超出了备注或 OLE 对象字段的容量"},
    ProblemText{kIndexEntryTooLarge, K::kConstraint, "[索引 '{index}' 的]索引项太大，一页放不下"},
    ProblemText{kDuplicateKey, K::kConstraint,
                "对表 '{table}' 的更改没有成功，因为会在索引、主关键字或关系中产生重复的值[（索引 "
                "'{index}'）]"},
    ProblemText{kNullInKey, K::kConstraint,
                "索引或主关键字不能包含空值[（表 '{table}' 的索引 '{index}'）]"},
    ProblemText{kCannotIndex, K::kUnsupported,
                "无法为表 '{table}' 的索引 '{index}' 建立该值的键：其中的字符在排序规则 {number} "
                "下没有已知的键"},
    ProblemText{kCannotCatalogName, K::kUnsupported,
                "无法登记表 '{table}'：表名中的字符在排序规则 {number} 下没有已知的键"},
    ProblemText{kTypeMismatch, K::kInvalid, "数据类型不匹配：字段 '{column}'"},
    ProblemText{kTypeNotWritable, K::kInvalid, "不能写入字段 '{column}'：本程序不能写入该数据类型"},
    // The sort order, not the value, is the reason: no key under it is known to this program.
    ProblemText{kCannotCatalogUnderSortOrder, K::kUnsupported,
                "无法创建表 '{table}'：本程序不能按数据库的排序规则 {number} 建立索引键，"
                "而登记表名需要这种键"},
    ProblemText{kCannotIndexUnderSortOrder, K::kUnsupported,
                "无法写入表 '{table}'：本程序不能按排序规则 {number} 建立索引键，"
                "而索引 '{index}' 需要这种键"},
    ProblemText{
        kDecimalTooLarge, K::kConstraint,
        "小数字段 '{column}' 的精度太小，不能接受所要添加的数值[（小数点前最多 {limit} 位）]"},
    // Tables, fields and indexes.
    ProblemText{kTableExists, K::kInvalid, "表 '{table}' 已存在"},
    ProblemText{kTableNotFound, K::kNotFound,
                "找不到输入表或查询 '{table}'，请确定它存在且名称拼写正确"},
    ProblemText{kFieldExists, K::kInvalid, "表 '{table}' 中已存在字段 '{column}'"},
    ProblemText{kFieldNotFound, K::kNotFound, "找不到字段 '{column}'"},
    ProblemText{kFieldDefinedTwice, K::kInvalid, "字段 '{column}' 被定义了多次"},
    ProblemText{kTooManyFields, K::kInvalid, "定义了过多字段[：表 '{table}' 最多 {limit} 个字段]"},
    ProblemText{kNoFields, K::kInvalid, "表[ '{table}' ]至少需要一个字段"},
    ProblemText{kTextLength, K::kInvalid, "字段 '{column}' 的长度必须在 1 到 {limit} 个字符之间"},
    ProblemText{kBinaryLength, K::kInvalid, "字段 '{column}' 的长度必须在 1 到 {limit} 字节之间"},
    ProblemText{kAutonumberType, K::kInvalid, "字段 '{column}' 不能是自动编号：只有长整型字段可以"},
    ProblemText{kAutonumberAssigned, K::kInvalid, "字段 '{column}' 是自动编号字段，不能赋值"},
    ProblemText{kInvalidName, K::kInvalid, "名称无效：'{name}'"},
    ProblemText{kIndexFieldMissing, K::kNotFound, "索引 '{index}' 引用的字段 '{column}' 不存在"},
    ProblemText{kIndexFieldCount, K::kInvalid, "索引 '{index}' 必须包含 1 到 {limit} 个字段"},
    // Statements.
    ProblemText{kSyntaxError, K::kInvalid,
                "SQL 语句语法错误：在第 {number} 个字符处[（'{name}' 附近）]"},
    ProblemText{kQueryTooComplex, K::kInvalid,
                "查询过于复杂：第 {number} 个字符处的表达式嵌套超过 {limit} 层"},
    ProblemText{kTooManyItems, K::kInvalid,
                "定义了过多字段：第 {number} 个字符处的列表超过 {limit} 个字段"},
    ProblemText{kValueCountMismatch, K::kInvalid, "查询值的数目与目标字段的数目不同"},
    ProblemText{kSelectOnly, K::kInvalid, "不支持的 SQL 语句：只有 SELECT 语句返回记录"},
    ProblemText{kSavedQuerySource, K::kInvalid, "不支持的 SQL 语句：从已保存的查询 '{name}' 读取"},
    ProblemText{kExternalSelectInto, K::kInvalid,
                "不支持的 SQL 语句：SELECT ... INTO 另一个数据库"},
    ProblemText{kExternalWrite, K::kInvalid, "不支持的 SQL 语句：写入另一个数据库中的表"},
    ProblemText{kSystemTableReadOnly, K::kReadOnly,
                "不能更新。数据库或对象为只读[（系统表 '{table}' 只能由数据库引擎维护）]"},
    ProblemText{kNoTransaction, K::kInvalid, "没有活动的事务，无法提交或回滚"},
    // The database contract.
    ProblemText{kNotConnected, K::kInvalid, "连接没有打开，也没有连接字符串"},
    ProblemText{kNoProvider, K::kInvalid, "连接字符串没有指定提供程序"},
    ProblemText{kUnknownProvider, K::kUnsupported,
                "找不到提供程序 '{name}'，本程序只支持 '{detail}'"},
    ProblemText{kNoDataSource, K::kInvalid, "连接字符串没有指定数据源"},
    ProblemText{kQueryNotConnected, K::kInvalid, "查询没有连接到数据库"},
    ProblemText{kObjectClosed, K::kInvalid, "对象关闭时，不允许操作"},
    ProblemText{kBadClassString, K::kInvalid, "无效的类字符串 '{name}'"},
    ProblemText{kNoCurrentRecord, K::kNotFound, "当前记录已被删除，或者已到达记录集的末尾"},
    ProblemText{kItemNotFound, K::kNotFound, "在对应所需名称或序数的集合中，未找到项目 '{name}'"},
    ProblemText{kNotUpdatable, K::kInvalid, "该记录集不能更新：它的行不来自本数据库中的一个表"},
    // What an upgrade needs; {name} says which of its files ("数据文件" or "模板").
    ProblemText{kUpgradeSameFile, K::kInvalid,
                "数据文件 '{file}' 和模板是同一个文件，不能用它升级它自己。没有改动任何文件"},
    ProblemText{kUpgradeTableMissing, K::kNotFound,
                "{name} '{file}' 中没有升级所需的表 '{table}'，没有改动任何文件"},
    ProblemText{kUpgradeColumnMissing, K::kNotFound,
                "{name} '{file}' 的表 '{table}' 中没有升级所需的字段 '{column}'，没有改动任何文件"},
    ProblemText{kUpgradeColumnNotNumeric, K::kInvalid,
                "{name} '{file}' 的表 '{table}' 的字段 '{column}' 应为数字类型，没有改动任何文件"},
    ProblemText{
        kUpgradeColumnAutonumber, K::kInvalid,
        "{name} '{file}' 的表 '{table}' 的字段 '{column}' 不能是自动编号，没有改动任何文件"},
    // Faults of the program itself.
    ProblemText{kOutOfMemory, K::kIo, "内存不足，无法完成操作"},
    ProblemText{kUnexpected, K::kInvalid, "程序内部错误：'{detail}'"},
    ProblemText{kInternalNoTransaction, K::kInvalid, "程序内部错误：在事务之外修改数据库"},
    ProblemText{kInternalTransactionOpen, K::kInvalid, "程序内部错误：事务已经开始"},
    ProblemText{kInternalNoSavepoint, K::kInvalid, "程序内部错误：没有可以撤销到的保存点"},
    ProblemText{kInternalRowShape, K::kInvalid,
                "程序内部错误：记录的值的数目与表[ '{table}' ]的字段数目不同"},
    ProblemText{kInternalStoredCopy, K::kInvalid,
                "程序内部错误：字段 '{column}' 不能按存储形式复制"},
    ProblemText{kInternalRowLength, K::kInvalid, "程序内部错误：改写记录时记录的长度发生了变化"},
};
constexpr bool InEnumOrder() {
  for (size_t i = 0; i < kTexts.size(); ++i) {
    if (static_cast<size_t>(kTexts[i].problem) != i) return false;
  }
  return kTexts.size() == static_cast<size_t>(Problem::kCount);
}
static_assert(InEnumOrder(), "every problem needs its text, in the order of the enum");

const std::string* FactText(const ErrorFacts& f, std::string_view name, std::string& scratch) {
  auto text = [](const std::string& s) { return s.empty() ? nullptr : &s; };
  auto number = [&](const std::optional<uint64_t>& n) -> const std::string* {
    if (!n) return nullptr;
    scratch = std::to_string(*n);
    return &scratch;
  };
  if (name == "file") return text(f.file);
  if (name == "table") return text(f.table);
  if (name == "column") return text(f.column);
  if (name == "index") return text(f.index);
  if (name == "name") return text(f.name);
  if (name == "detail") return text(f.detail);
  if (name == "page") return number(f.page);
  if (name == "row") return number(f.row);
  if (name == "number") return number(f.number);
  if (name == "limit") return number(f.limit);
  return nullptr;
}

// Fills `{fact}` placeholders; a `[...]` part is kept only if every fact it names is set.
std::string Fill(std::string_view text, const ErrorFacts& facts) {
  std::string out, part, scratch;
  bool in_part = false, part_complete = true;
  for (size_t i = 0; i < text.size(); ++i) {
    std::string& to = in_part ? part : out;
    char c = text[i];
    if (c == '[') {
      in_part = true;
      part.clear();
      part_complete = true;
    } else if (c == ']') {
      if (part_complete) out += part;
      in_part = false;
    } else if (c == '{') {
      size_t end = text.find('}', i);
      const std::string* value = FactText(facts, text.substr(i + 1, end - i - 1), scratch);
      if (value) {
        to += *value;
      } else {
        part_complete = false;
      }
      i = end;
    } else {
      to += c;
    }
  }
  return out;
}

}  // namespace

const ProblemText& TextOf(Problem problem) {
  return kTexts[static_cast<size_t>(problem)];
}

std::string WordProblem(Problem problem, const ErrorFacts& facts) {
  return Fill(TextOf(problem).text, facts);
}

std::string WordMessage(Problem problem, const ErrorFacts& facts) {
  const ProblemText& t = TextOf(problem);
  std::string message = t.kind == ErrorKind::kCorrupt ? Fill(kDamagedLead, facts) : std::string();
  message += WordProblem(problem, facts);
  return message;
}

JetError::JetError(Problem problem, ErrorFacts facts)
    : problem_(problem), kind_(TextOf(problem).kind), facts_(std::move(facts)) {
  message_ = WordMessage(problem_, facts_);
}

JetError& JetError::AddFacts(const ErrorFacts& more) {
  auto add = [](auto& mine, const auto& theirs) {
    if (!mine.empty() || theirs.empty()) return;
    mine = theirs;
  };
  auto add_number = [](std::optional<uint64_t>& mine, const std::optional<uint64_t>& theirs) {
    if (!mine) mine = theirs;
  };
  add(facts_.file, more.file);
  add(facts_.table, more.table);
  add(facts_.column, more.column);
  add(facts_.index, more.index);
  add(facts_.name, more.name);
  add(facts_.detail, more.detail);
  add_number(facts_.page, more.page);
  add_number(facts_.row, more.row);
  add_number(facts_.number, more.number);
  add_number(facts_.limit, more.limit);
  message_ = WordMessage(problem_, facts_);
  return *this;
}

}  // namespace jet
