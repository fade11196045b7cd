#pragma once

#include <QByteArray>

#include <memory>
#include <string>

#include <json/json.h>

/// Parses a JSON text into *pRoot; false when the text is not JSON or its top level is not an
/// object. Never throws.
inline bool readJsonObject(const QByteArray& baText, Json::Value* pRoot)
{
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> pReader(builder.newCharReader());
    std::string strErrors;
    try {
        return pReader->parse(baText.constData(), baText.constData() + baText.size(), pRoot, &strErrors) &&
               pRoot->isObject();
    } catch (const Json::Exception&) {
        return false;
    }
}
