#include "cmserror.h"

namespace CmsError {

namespace {

struct Meaning
{
    int code;
    const char *text; // UTF-8
};

// Below 128 the network's causes (TS 24.011 E.2), then the service centre's (TS 23.040
// §9.2.3.22), from 300 the modem's own (TS 27.005 §3.2.5).
constexpr Meaning CmsMeanings[] = {
        {1, "号码不存在"},
        {8, "运营商禁止发送"},
        {10, "呼叫被禁止"},
        {21, "短信被网络拒绝"},
        {27, "对方不在服务区"},
        {28, "无法识别的用户"},
        {29, "业务被拒绝"},
        {30, "未知用户"},
        {38, "网络故障"},
        {41, "网络临时故障"},
        {42, "网络拥塞"},
        {47, "网络资源不可用"},
        {50, "未开通所需业务"},
        {69, "网络不支持所需业务"},
        {81, "短信传输参考值无效"},
        {95, "短信无效"},
        {96, "必选信息无效"},
        {97, "消息类型不存在"},
        {98, "消息与协议状态不符"},
        {99, "信息单元不存在"},
        {111, "协议错误"},
        {127, "互通错误"},
        {128, "不支持远程信息互通"},
        {143, "协议标识错误"},
        {144, "不支持的编码方式"},
        {145, "不支持的消息类别"},
        {159, "编码方式错误"},
        {176, "不支持的短信类型"},
        {192, "短信中心忙"},
        {193, "未开通短信中心业务"},
        {194, "短信中心系统故障"},
        {195, "目标地址无效"},
        {196, "目标号码被禁止"},
        {197, "重复短信被拒绝"},
        {198, "不支持有效期格式"},
        {199, "不支持有效期"},
        {208, "SIM卡短信存储已满"},
        {211, "存储容量不足"},
        {255, "未指明的错误"},
        {300, "短信猫故障"},
        {301, "短信猫的短信服务被占用"},
        {302, "操作不允许"},
        {303, "操作不支持"},
        {304, "PDU参数无效"},
        {305, "文本参数无效"},
        {310, "未插入SIM卡"},
        {311, "SIM卡需要输入PIN码"},
        {312, "需要输入PH-SIM PIN码"},
        {313, "SIM卡故障"},
        {314, "SIM卡忙"},
        {315, "SIM卡错误"},
        {316, "SIM卡需要输入PUK码"},
        {317, "需要输入PIN2码"},
        {318, "需要输入PUK2码"},
        {320, "存储器故障"},
        {321, "存储位置无效"},
        {322, "短信存储已满"},
        {330, "短信中心号码未知"},
        {331, "无网络服务"},
        {332, "网络超时"},
        {340, "无需确认"},
        {500, "未知错误"},
};

} // namespace

QString meaning(int code)
{
    for (const Meaning &m : CmsMeanings) {
        if (m.code == code)
            return QString::fromUtf8(m.text);
    }
    if (code >= 512)
        return QStringLiteral("厂商自定义错误");
    return {};
}

int codeOf(const QString &failure)
{
    static const QLatin1String prefix("+CMS ERROR:");
    if (!failure.startsWith(prefix))
        return -1;
    qsizetype at = prefix.size();
    while (at < failure.size() && failure.at(at) == QLatin1Char(' '))
        ++at;
    qsizetype end = at;
    while (end < failure.size() && end - at < 4 && failure.at(end).isDigit()
           && failure.at(end).unicode() < 128)
        ++end;
    if (end == at || (end < failure.size() && failure.at(end).isDigit()))
        return -1;
    return failure.mid(at, end - at).toInt();
}

QString describe(int code)
{
    const QString text = QStringLiteral("+CMS ERROR: ") + QString::number(code);
    const QString what = meaning(code);
    return what.isEmpty() ? text : text + QLatin1Char(' ') + what;
}

} // namespace CmsError
