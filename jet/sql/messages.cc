#include "jet/sql/messages.h"

namespace jet::sql {
namespace {

std::string Quoted(const std::string& name) {
  return "'" + name + "'";
}

}  // namespace

JetError SyntaxError(size_t position, const std::string& near) {
  std::string text = "SQL 语句语法错误：在第 " + std::to_string(position) + " 个字符处";
  if (!near.empty()) text += "（" + Quoted(near) + " 附近）";
  return JetError(ErrorKind::kInvalid, text);
}
JetError TableExists(const std::string& table) {
  return JetError(ErrorKind::kInvalid, "表 " + Quoted(table) + " 已存在");
}
JetError TableNotFound(const std::string& table) {
  return JetError(ErrorKind::kNotFound,
                  "找不到输入表或查询 " + Quoted(table) + "，请确定它存在且名称拼写正确");
}
JetError FieldExists(const std::string& field, const std::string& table) {
  return JetError(ErrorKind::kInvalid, "表 " + Quoted(table) + " 中已存在字段 " + Quoted(field));
}
JetError FieldNotFound(const std::string& field) {
  return JetError(ErrorKind::kNotFound, "找不到字段 " + Quoted(field));
}
JetError FieldDefinedTwice(const std::string& field) {
  return JetError(ErrorKind::kInvalid, "字段 " + Quoted(field) + " 被定义了多次");
}
JetError TypeMismatch(const std::string& field) {
  return JetError(ErrorKind::kInvalid, "数据类型不匹配：字段 " + Quoted(field));
}
JetError ValueTooLarge(const std::string& field) {
  return JetError(ErrorKind::kConstraint,
                  "字段 " + Quoted(field) + " 太小，不能接受所要添加的数据");
}
JetError DuplicateKey(const std::string& table) {
  return JetError(ErrorKind::kConstraint, "对表 " + Quoted(table) +
                                              " 的更改没有成功，因为会在索引、主关键字或关系中"
                                              "产生重复的值");
}
JetError RecordTooLarge() {
  return JetError(ErrorKind::kConstraint, "记录太大");
}
JetError BadPassword() {
  return JetError(ErrorKind::kBadPassword, "不是有效的密码");
}
JetError FileNotFound(const std::string& path) {
  return JetError(ErrorKind::kNotFound, "找不到文件 " + Quoted(path));
}
JetError NotADatabase(const std::string& path) {
  return JetError(ErrorKind::kUnsupported, "无法识别的数据库格式 " + Quoted(path));
}
JetError DatabaseInUse(const std::string& path) {
  return JetError(ErrorKind::kInUse, "数据库 " + Quoted(path) + " 正被其他程序使用");
}
JetError ReadOnlyDatabase(const std::string& path) {
  return JetError(ErrorKind::kReadOnly, "数据库 " + Quoted(path) + " 是只读的，不能更新");
}
JetError CannotIndex(const std::string& detail) {
  return JetError(ErrorKind::kUnsupported, "无法为该值建立索引：" + detail);
}
JetError UnsupportedStatement(const std::string& what) {
  return JetError(ErrorKind::kInvalid, "不支持的 SQL 语句：" + what);
}

JetError QueryTooComplex(size_t position, int limit) {
  return JetError(ErrorKind::kInvalid, "查询过于复杂：第 " + std::to_string(position + 1) +
                                           " 个字符处的表达式嵌套超过 " + std::to_string(limit) +
                                           " 层");
}

JetError TooManyFields(size_t position, size_t limit) {
  return JetError(ErrorKind::kInvalid, "定义了过多字段：第 " + std::to_string(position) +
                                           " 个字符处的列表超过 " + std::to_string(limit) +
                                           " 个字段");
}

JetError NoTransaction() {
  return JetError(ErrorKind::kInvalid, "没有活动的事务，无法提交或回滚");
}

JetError Translate(const JetError& e, const std::string& path) {
  const std::string what = e.what();
  // Messages already in the product's language start with a non-ASCII character.
  if (!what.empty() && static_cast<unsigned char>(what[0]) >= 0x80) return e;
  switch (e.kind()) {
    case ErrorKind::kBadPassword:
      return BadPassword();
    case ErrorKind::kNotFound:
      return FileNotFound(path);
    case ErrorKind::kUnsupported:
      if (what.rfind("unsupported format", 0) == 0) return NotADatabase(path);
      return CannotIndex(what);
    case ErrorKind::kCorrupt:
      return JetError(ErrorKind::kCorrupt, "数据库文件已损坏：" + what);
    case ErrorKind::kInUse:
      return DatabaseInUse(path);
    case ErrorKind::kReadOnly:
      return ReadOnlyDatabase(path);
    case ErrorKind::kIo:
      return JetError(ErrorKind::kIo, "磁盘或文件错误：" + what);
    default:
      return JetError(e.kind(), what);
  }
}

}  // namespace jet::sql
