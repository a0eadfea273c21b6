#pragma once

// Each kind of port failure worded once for each program: in English for quillon-send, and in
// the panel's own Chinese, a source text that the panel translates in the context
// kPortErrorWordsContext.

#include "port_failure.h"

#include <QtGlobal>

#include <cstddef>
#include <iterator>

namespace quillon {

struct PortErrorWords {
    PortError error;
    const char* english; // "%1" stands for the line settings
    const char* chinese;
};

inline constexpr char kPortErrorWordsContext[] = "quillon::PortErrorWords";

// In the order of PortError, from NotFound to Unknown.
// clang-format off
inline constexpr PortErrorWords kPortErrorWords[] = {
{PortError::NotFound,          "no such device",                                                 QT_TRANSLATE_NOOP("quillon::PortErrorWords", "设备不存在")},
{PortError::HostNotFound,      "no such host",                                                   QT_TRANSLATE_NOOP("quillon::PortErrorWords", "找不到该主机")},
{PortError::Permission,        "permission denied, or the device is in use by another program",  QT_TRANSLATE_NOOP("quillon::PortErrorWords", "没有访问权限，或设备已被其他程序占用")},
{PortError::AlreadyOpen,       "the device is already open",                                     QT_TRANSLATE_NOOP("quillon::PortErrorWords", "设备已被打开")},
{PortError::NotOpen,           "the port is not open",                                           QT_TRANSLATE_NOOP("quillon::PortErrorWords", "串口未打开")},
{PortError::Write,             "writing failed",                                                 QT_TRANSLATE_NOOP("quillon::PortErrorWords", "写入出错")},
{PortError::Read,              "reading failed",                                                 QT_TRANSLATE_NOOP("quillon::PortErrorWords", "读取出错")},
{PortError::Gone,              "the device was disconnected, or the connection dropped",         QT_TRANSLATE_NOOP("quillon::PortErrorWords", "设备已断开或不可用")},
{PortError::Unsupported,       "the device or the server does not take %1",                      QT_TRANSLATE_NOOP("quillon::PortErrorWords", "设备或服务器不支持所需的串口设置")},
{PortError::ConnectionRefused, "the server refused the connection",                              QT_TRANSLATE_NOOP("quillon::PortErrorWords", "服务器拒绝连接")},
{PortError::Timeout,           "timed out",                                                      QT_TRANSLATE_NOOP("quillon::PortErrorWords", "操作超时")},
{PortError::Unknown,           "an unknown error",                                               QT_TRANSLATE_NOOP("quillon::PortErrorWords", "未知错误")},
};
// clang-format on

constexpr bool InPortErrorOrder() {
    for (std::size_t i = 0; i < std::size(kPortErrorWords); ++i) {
        if (kPortErrorWords[i].error != PortError(i + 1))
            return false;
    }
    return true;
}
static_assert(InPortErrorOrder() && std::size(kPortErrorWords) == std::size_t(PortError::Unknown),
              "one row for each PortError after None, in order");

// None, which no failure carries, is worded as Unknown.
constexpr const PortErrorWords& WordsFor(PortError error) {
    return error == PortError::None ? kPortErrorWords[std::size(kPortErrorWords) - 1]
                                    : kPortErrorWords[std::size_t(error) - 1];
}

} // namespace quillon
