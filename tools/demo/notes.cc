#include "tools/demo/notes.h"

#include <cstdio>
#include <string_view>

namespace demo {
namespace {

constexpr std::string_view kFollowUps[] = {
    "客户对我们的产品很感兴趣，希望下周安排上门演示。",
    "已寄送产品资料和报价单，等待对方回复。",
    "对方采购经理出差，约定月底再联系。",
    "客户反映上批货物包装有破损，已安排补发。",
    "年度合同已续签，付款方式为月结三十天。",
    "客户要求开具增值税专用发票。",
    "电话回访，客户对售后服务表示满意。",
    "竞争对手报价低百分之十，需要申请特价。",
    "已完成首期培训，第二期培训安排在下个月。",
    "客户计划扩大生产规模，明年可能追加订单。",
    "财务部门催收尾款，客户承诺本周内付清。",
    "参加展会时认识，对方留下了名片。",
    "客户负责人更换，需要重新建立联系。",
    "样品已确认，等待正式订单。",
    "对方希望我们提供三年的质保服务。",
    "本季度采购额比去年同期增长明显。",
    "客户公司搬迁到新地址，已更新资料。",
    "需要技术部门配合解决安装调试问题。",
    "老客户介绍的新客户，需重点跟进。",
    "客户对交货期要求较高，需提前备货。",
    "已发送节日问候短信。",
    "客户暂时没有采购计划，半年后再联系。",
    "洽谈代理合作事宜，对方有意在本地区独家代理。",
    "合同条款中的违约责任需要法务审核。",
    "客户询问新产品的上市时间和价格。",
    "拜访时客户提出了几点改进建议，已反馈给产品部门。",
    "货款已到账，发货单已开出。",
    "春节前后客户放假，年后再跟进。",
    "对方要求提供营业执照和资质证书复印件。",
    "客户信用良好，可以适当放宽账期。",
};

constexpr std::string_view kContactRemarks[] = {
    "为人爽快，决策快。", "喜欢喝茶，拜访时可带些茶叶。", "周末不方便联系。", "负责采购审批。",
    "是公司的技术骨干。", "上次拜访时谈得很愉快。",       "对价格比较敏感。", "需要通过前台转接。",
    "生日时寄过贺卡。",   "平时用短信联系较方便。",
};

constexpr std::string_view kOrderRemarks[] = {
    "含运费", "客户自提", "分两批发货", "款到发货", "月结", "加急订单", "已开发票", "含安装调试",
};

// Characters, not bytes: the notes are measured the way Access counts a memo's length.
size_t CharacterCount(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

std::optional<std::string> RandomCustomerNotes(DemoRandom& random) {
  if (random.Chance(16)) return std::nullopt;
  std::string notes;
  const int sentences = random.Chance(80) ? random.Between(1, 4) : random.Between(5, 20);
  for (int i = 0; i < sentences; ++i) notes += random.Pick(kFollowUps);
  return notes;
}

std::string LongCustomerLog(DemoRandom& random) {
  std::string log;
  size_t characters = 0;
  int year = random.Between(2002, 2004), month = random.Between(1, 12), day = 1;
  const size_t target = static_cast<size_t>(random.Between(2050, 3200));
  while (characters < target) {
    day += random.Between(3, 20);
    if (day > 28) {
      day -= 28;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
    char date[48];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
    std::string entry = log.empty() ? "" : "\r\n";
    entry.append(date).append(" 跟进：").append(random.Pick(kFollowUps));
    characters += CharacterCount(entry);
    log += entry;
  }
  return log;
}

std::optional<std::string> RandomContactRemark(DemoRandom& random) {
  if (random.Chance(70)) return std::nullopt;
  return std::string(random.Pick(kContactRemarks));
}

std::optional<std::string> RandomOrderRemark(DemoRandom& random) {
  if (random.Chance(60)) return std::nullopt;
  return std::string(random.Pick(kOrderRemarks));
}

}  // namespace demo
