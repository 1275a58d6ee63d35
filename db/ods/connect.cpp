/*
 * connect.cpp - connections: the connection record, DbParm, profile settings, connect and
 * disconnect (requests 35 and 4), transactions (requests 1, 6 and 58) and request 170.
 *
 * A block is connected when it holds a DB-Library connection and a ConnectionRecord; the record
 * owns its five strings, each allocated in the block's memory context and freed when replaced or
 * at disconnect. Right after the connection opens, the gateway is put into the modes the rest of
 * the driver expects; those commands, like SET LONG_TRANS, are best effort and never report.
 */
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "internal.h"

namespace {

const char kProfileSection[] = "database";
const char kEmptyProfileValue[] = "*";
enum { OWNER_TEXT_LIMIT = 129, LONG_TRANS_ANSWER_SIZE = 20 };

/* Key/condition/effect of one DbParm rule; the first rule whose key matches and whose condition
 * holds is applied. */
enum class DbParmCondition { TextValue, NonzeroNumber, NoTextValue };
enum class DbParmEffect {
    SystemOwner,
    CatalogOwner,
    GroupId,
    DelimitIdentifier,
    TableCriteria,
    SqlQualifiers,
    RequestMode,
    ConversionTable,
    StaticBindText,
    StaticBindNumber,
};
struct DbParmRule {
    const char* key;
    DbParmCondition condition;
    DbParmEffect effect;
};
constexpr DbParmRule kDbParmRules[] = {
    {"SystemOwner", DbParmCondition::TextValue, DbParmEffect::SystemOwner},
    {"KWCatalogOwner", DbParmCondition::TextValue, DbParmEffect::CatalogOwner},
    {"GroupID", DbParmCondition::TextValue, DbParmEffect::GroupId},
    {"DelimitIdentifier", DbParmCondition::TextValue, DbParmEffect::DelimitIdentifier},
    {"TableCriteria", DbParmCondition::TextValue, DbParmEffect::TableCriteria},
    {"SQLQualifiers", DbParmCondition::NonzeroNumber, DbParmEffect::SqlQualifiers},
    {"Request", DbParmCondition::NonzeroNumber, DbParmEffect::RequestMode},
    {"ConversionTable", DbParmCondition::TextValue, DbParmEffect::ConversionTable},
    {"StaticBind", DbParmCondition::TextValue, DbParmEffect::StaticBindText},
    {"StaticBind", DbParmCondition::NoTextValue, DbParmEffect::StaticBindNumber},
};

/* The commands sent right after the connection opens, after the long-transaction probe. */
const char kConvertAll[] = "SET CONVERT ALL = ";
const char kDefaultConversionTable[] = "STD";
const char* const kConnectOptions[] = {
    "SET CONVERT TIMESTAMP CHAR", "SET CONVERT DATE ISO", "SET CONVERT TIME ISO",
    "SET CONVERT DECIMAL CHAR",   "SET TRANSFORM TSQL0",
};

bool holds(const ParameterEntry* entry, DbParmCondition condition) {
    switch (condition) {
        case DbParmCondition::TextValue:
            return entry->text != nullptr;
        case DbParmCondition::NonzeroNumber:
            return entry->number != 0;
        case DbParmCondition::NoTextValue:
            return entry->text == nullptr;
    }
    return false;
}

/* The replacement of an owner-like text: `old` is freed and a copy of `value`, cut to 129
 * characters and in upper case, answered (null when no memory could be had). Record fields are
 * assigned from the answer, never written through their address: the records are packed. */
char* TDX_OwnerText(RequestBlock* block, char* old, const char* value) {
    if (old != nullptr) {
        kwshr_free(block->memoryContext, old);
    }
    const size_t length = std::min(std::strlen(value), static_cast<size_t>(OWNER_TEXT_LIMIT));
    char* copy = static_cast<char*>(kwshr_allocate(block->memoryContext, length + 1, 0));
    if (copy == nullptr) {
        return nullptr;
    }
    std::memcpy(copy, value, length);
    copy[length] = '\0';
    CharUpperA(copy);
    return copy;
}

/* The replacement of a text kept whole: `old` is freed and a copy of `value` answered. */
char* TDX_WholeText(RequestBlock* block, char* old, const char* value, int32_t flags) {
    if (old != nullptr) {
        kwshr_free(block->memoryContext, old);
    }
    return kwshr_duplicateString(block->memoryContext, value, flags);
}

/* Applies one rule. Without a connection record only the block's own option can change. */
void TDX_ApplyRule(RequestBlock* block, ConnectionRecord* record, DbParmEffect effect,
                   const ParameterEntry* entry) {
    if (record == nullptr && effect != DbParmEffect::DelimitIdentifier) {
        return;
    }
    switch (effect) {
        case DbParmEffect::SystemOwner:
            record->systemOwner = TDX_OwnerText(block, record->systemOwner, entry->text);
            break;
        case DbParmEffect::CatalogOwner:
            record->catalogOwner = TDX_OwnerText(block, record->catalogOwner, entry->text);
            break;
        case DbParmEffect::GroupId:
            record->groupId = TDX_OwnerText(block, record->groupId, entry->text);
            break;
        case DbParmEffect::DelimitIdentifier:
            if (strcasecmp(entry->text, "no") == 0) {
                block->options |= OPT_NO_DELIMIT;
            } else {
                block->options &= static_cast<uint8_t>(~OPT_NO_DELIMIT);
            }
            break;
        case DbParmEffect::TableCriteria:
            record->tableCriteria = TDX_WholeText(block, record->tableCriteria, entry->text, 0);
            break;
        case DbParmEffect::SqlQualifiers:
            record->sqlQualifiers = static_cast<int16_t>(entry->number & 0xFFFF);
            break;
        case DbParmEffect::RequestMode:
            record->requestMode = 1;
            break;
        case DbParmEffect::ConversionTable:
            record->conversionTable =
                TDX_WholeText(block, record->conversionTable, entry->text, block->allocFlags);
            break;
        case DbParmEffect::StaticBindText:
            record->staticBind =
                strcasecmp(entry->text, "NO") == 0 || strcasecmp(entry->text, "FALSE") == 0 ? 0 : 1;
            break;
        case DbParmEffect::StaticBindNumber:
            record->staticBind = entry->number != 0 ? 1 : 0;
            break;
    }
}

/* Sends one best-effort command; its failure is discarded, never reported. */
void TDX_SendQuietly(RequestBlock* block, const char* text, const char* second = nullptr) {
    dbcmd(block->dbproc, text);
    if (second != nullptr) {
        dbcmd(block->dbproc, second);
    }
    if (dbsqlexec(block->dbproc) == FAIL) {
        TDX_DiscardServerMessages(block);
    }
    if (dbresults(block->dbproc) == FAIL) {
        TDX_DiscardServerMessages(block);
    }
}

void TDX_FreeConnectionRecord(RequestBlock* block) {
    ConnectionRecord* record = block->connection;
    for (char* text : {record->systemOwner, record->catalogOwner, record->groupId, record->tableCriteria,
                       record->conversionTable}) {
        if (text != nullptr) {
            kwshr_free(block->memoryContext, text);
        }
    }
    kwshr_free(block->memoryContext, record);
    block->connection = nullptr;
}

/* Looks a key up in the parsed DbParm list through the host; answers the entry's text or null. */
const char* TDX_ConnectParameterText(RequestBlock* block, HostList* parameters, const char* key) {
    block->arg = parameters;
    char* const previousKey = block->paramKey;
    block->paramKey = const_cast<char*>(key);
    kwshr_findConnectParameter(block);
    block->paramKey = previousKey;
    const auto* entry = reinterpret_cast<const ParameterEntry*>(block->result);
    return entry != nullptr ? entry->text : nullptr;
}

/* Opens the DB-Library connection: login record, dbopen, and the verdict of the queued messages.
 * Answers whether the connection is open. */
bool TDX_OpenConnection(RequestBlock* block, HostList* parameters) {
    LOGINREC* login = dblogin();
    if (login == nullptr) {
        TDX_ReportNoMemory(block);
        kwdbt_endConnect();
        return false;
    }
    dbsetlname(login, block->loginId != nullptr ? block->loginId : "", DBSETUSER);
    if (block->password != nullptr && block->password[0] != '\0') {
        dbsetlname(login, block->password, DBSETPWD);
    }
    if (parameters != nullptr) {
        if (const char* application = TDX_ConnectParameterText(block, parameters, "appname")) {
            dbsetlname(login, application, DBSETAPP);
        }
        if (const char* host = TDX_ConnectParameterText(block, parameters, "host")) {
            dbsetlname(login, host, DBSETHOST);
        }
    }
    kwdbt_registerConnection(block);
    block->dbproc = dbopen(login, block->serverName);
    dbloginfree(login);

    /* The queued messages decide: the gateway's one harmless login message counts as none. A
     * connection that opened all the same is closed again, and one that failed without a word
     * still fails. */
    MessageRecord* record = TDX_CollectServerMessage(block);
    if (record == nullptr && block->dbproc != nullptr) {
        return true;
    }
    if (record != nullptr) {
        TDX_ReportRecord(block, record);
    } else {
        TDX_LoadMessage(block, IDS_LOGIN_FAILED, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
    }
    if (block->dbproc != nullptr) {
        dbclose(block->dbproc);
        block->dbproc = nullptr;
    }
    kwdbt_unregisterConnection(block);
    kwdbt_endConnect();
    return false;
}

}  // namespace

void TDX_ApplyDbParm(RequestBlock* block, HostList* parameters) {
    ConnectionRecord* record = block->connection;
    if (parameters == nullptr) {
        return;
    }
    parameters->cursor = parameters->first;
    while (parameters->cursor != nullptr) {
        const auto* entry = static_cast<const ParameterEntry*>(parameters->cursor->data);
        if (entry != nullptr && entry->key != nullptr) {
            for (const DbParmRule& rule : kDbParmRules) {
                if (strcasecmp(entry->key, rule.key) == 0 && holds(entry, rule.condition)) {
                    TDX_ApplyRule(block, record, rule.effect, entry);
                    break;
                }
            }
        }
        parameters->cursor = parameters->cursor == parameters->last ? nullptr : parameters->cursor->next;
    }
}

void TDX_ApplyDbParmRequest(RequestBlock* block) {
    TDX_ApplyDbParm(block, static_cast<HostList*>(block->arg));
}

void TDX_GetProfileSetting(RequestBlock* block, const char* key, char* out) {
    char value[TDX_PROFILE_VALUE_SIZE] = {};
    kwshr_readProfileString(kProfileSection, key, "", value, sizeof value);
    std::strcpy(out, value);
    /* A value never given, or given as empty ("*"), is asked for. */
    if (out[0] == '\0' || std::strcmp(out, kEmptyProfileValue) == 0) {
        out[0] = '\0';
        bool asked = true;
        if (strcasecmp(key, "TableSpace") == 0) {
            TDX_AskTableSpace(block);
        } else if (strcasecmp(key, "StoredReqOwner") == 0) {
            TDX_AskStoredRequestOwner(block);
        } else {
            asked = false;
        }
        if (asked) {
            TDX_CopyText(out, TDX_PROFILE_VALUE_SIZE, block->message);
        }
    }
    if (out[0] == '\0' || std::strcmp(out, kEmptyProfileValue) == 0) {
        out[0] = '\0';
        return;
    }
    CharUpperA(out);
}

void TDX_PutProfileSetting(const char* key, char* value) {
    if (value[0] == '\0') {
        std::strcpy(value, kEmptyProfileValue);
    }
    kwshr_writeProfileString(kProfileSection, key, value);
    if (std::strcmp(value, kEmptyProfileValue) == 0) {
        value[0] = '\0';
    }
}

int32_t TDX_HasProfileSetting(const char* key, char* out, int32_t size) {
    kwshr_readProfileString(kProfileSection, key, "", out, size);
    return out[0] != '\0' ? 1 : 0;
}

int32_t TDX_ProbeLongTrans(RequestBlock* block) {
    char answer[LONG_TRANS_ANSWER_SIZE] = {};
    int32_t longTrans = 0;
    dbcmd(block->dbproc, "SELECT @@LONG_TRANS ");
    if (dbsqlexec(block->dbproc) != FAIL && dbresults(block->dbproc) != FAIL &&
        TDX_Bind(block->dbproc, 1, KW_BIND_TEXT, sizeof answer, answer) != FAIL) {
        const RETCODE row = dbnextrow(block->dbproc);
        if (row != FAIL && row != NO_MORE_ROWS && std::memcmp(answer, "YES", 4) == 0) {
            longTrans = 1;
        }
    }
    dbcancel(block->dbproc);
    TDX_DiscardServerMessages(block);
    return longTrans;
}

void TDX_SendConnectOptions(RequestBlock* block) {
    ConnectionRecord* record = block->connection;
    record->longTrans = TDX_ProbeLongTrans(block);
    TDX_SendQuietly(block, kConvertAll,
                    record->conversionTable != nullptr ? record->conversionTable : kDefaultConversionTable);
    TDX_SendQuietly(block, record->longTrans == 0 && record->requestMode != 0 ? "SET ALLOCATE REQUEST"
                                                                              : "SET ALLOCATE CONNECT");
    for (const char* command : kConnectOptions) {
        TDX_SendQuietly(block, command);
    }
}

void TDX_Connect(RequestBlock* block) {
    if (block->connection != nullptr) {
        TDX_LoadMessage(block, IDS_ALREADY_CONNECTED, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    if (kwdbt_beginConnect() < 0) {
        TDX_LoadMessage(block, IDS_CONNECT_SERVICE_UNAVAILABLE, 255);
        block->status = KW_STATUS_DRIVER_FAILURE;
        return;
    }
    void* const savedArg = block->arg;
    kwshr_openConnectParameters(block);
    auto* parameters = reinterpret_cast<HostList*>(block->result);

    if (TDX_OpenConnection(block, parameters)) {
        auto* record =
            static_cast<ConnectionRecord*>(kwshr_allocate(block->memoryContext, sizeof(ConnectionRecord), 0));
        if (record == nullptr) {
            TDX_ReportNoMemory(block);
            dbclose(block->dbproc);
            block->dbproc = nullptr;
            kwdbt_unregisterConnection(block);
            kwdbt_endConnect();
        } else {
            std::memset(record, 0, sizeof *record);
            record->staticBind = 1;
            block->connection = record;
            TDX_ApplyDbParm(block, parameters);
            TDX_SendConnectOptions(block);
        }
    }
    if (parameters != nullptr) {
        block->arg = parameters;
        kwshr_closeConnectParameters(block);
    }
    block->arg = savedArg;
}

void TDX_Disconnect(RequestBlock* block) {
    /* A block that never connected (or is disconnected already) has nothing to close. */
    if (block->connection == nullptr) {
        return;
    }
    TDX_FreeConnectionRecord(block);
    kwshr_releaseBlockData(block);
    dbclose(block->dbproc);
    /* The handle is dead now; a later request must find no connection rather than a freed one. */
    block->dbproc = nullptr;
    kwdbt_unregisterConnection(block);
    kwdbt_endConnect();
}

void TDX_SetLongTrans(RequestBlock* block, const char* value) {
    ConnectionRecord* record = block->connection;
    if (record == nullptr || record->longTrans != 0) {
        return;
    }
    dbfcmd(block->dbproc, "SET LONG_TRANS %s", value);
    if (dbsqlexec(block->dbproc) == FAIL) {
        TDX_DiscardServerMessages(block);
    }
    if (dbresults(block->dbproc) == FAIL) {
        TDX_DiscardServerMessages(block);
    }
}

void TDX_Commit(RequestBlock* block) {
    ConnectionRecord* record = block->connection;
    TDX_ExecuteStatement(block, "commit tran");
    if (record != nullptr && record->longTrans == 0) {
        TDX_SetLongTrans(block, "NO");
    }
}

void TDX_Rollback(RequestBlock* block) {
    ConnectionRecord* record = block->connection;
    /* What is cancelled here goes with its messages, errors included: the rollback must be sent. */
    dbcancel(block->dbproc);
    TDX_DiscardServerMessages(block);
    TDX_ExecuteStatement(block, "rollback tran");
    if (record != nullptr && record->longTrans == 0) {
        TDX_SetLongTrans(block, "NO");
    }
}

void TDX_BeginLongTransaction(RequestBlock* block) {
    TDX_SetLongTrans(block, "YES");
}
