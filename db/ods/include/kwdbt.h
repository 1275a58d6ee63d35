/*
 * kwdbt.h - the database-interface toolkit of the host (libkwdbt050).
 *
 * It owns DB-Library's error and message handlers and keeps one FIFO queue of MessageRecords per
 * registered connection. The first part lists the services the driver calls; the second the
 * host-side interface of tests and kwsh.
 */
#ifndef KW_DBT_H
#define KW_DBT_H

#include "kwrecords.h"

KW_BEGIN_C

/* Once per process: initialises DB-Library and installs the handlers. */
KW_EXPORT void kwdbt_processAttach(void);
/* Negative when the connection service is unavailable; otherwise 0. */
KW_EXPORT int32_t kwdbt_beginConnect(void);
/* Just before dbopen: messages from now on, including those raised inside dbopen, are queued
 * for this block's connection; a null dbproc reads this queue until another block registers. */
KW_EXPORT void kwdbt_registerConnection(RequestBlock* block);
/* After dbclose or a failed dbopen: drops the connection's queue. */
KW_EXPORT void kwdbt_unregisterConnection(RequestBlock* block);
KW_EXPORT void kwdbt_endConnect(void);

/* Queued messages of a connection, oldest first; null at the end. */
KW_EXPORT MessageRecord* kwdbt_firstMessage(DBPROCESS* dbproc);
KW_EXPORT MessageRecord* kwdbt_nextMessage(DBPROCESS* dbproc, MessageRecord* record);
/* Unqueues and frees a message. */
KW_EXPORT void kwdbt_freeMessage(MessageRecord* record);
/* The record keeps a copy of the text. */
KW_EXPORT void kwdbt_setMessageText(MessageRecord* record, const char* text);

/* ---- Host-side interface ---- */

/* Queues a message as the handlers would (tests fill queues this way). */
KW_EXPORT void kwhost_queueMessage(DBPROCESS* dbproc, int32_t source, int32_t number, int32_t severity,
                                   const char* text);
/* Number of messages queued for a connection. */
KW_EXPORT int32_t kwhost_queuedMessageCount(DBPROCESS* dbproc);
/* Number of registered connections (tests check that disconnects unregister). */
KW_EXPORT int32_t kwhost_registeredConnectionCount(void);
/* 1 when DB-Library has given the connection up (the server closed it, or it stopped answering),
 * else 0; a null dbproc is no lost connection. */
KW_EXPORT int32_t kwhost_connectionLost(DBPROCESS* dbproc);

/* The host's message loop while DB-Library waits for a server: about once a second of waiting the
 * hook runs with the block whose connection waits. It may call the driver again for that block
 * (request 71 cancels what it waits for). Null removes the hook. */
typedef void (*KwWaitHook)(RequestBlock* block, void* context);
KW_EXPORT void kwhost_setWaitHook(KwWaitHook hook, void* context);

KW_END_C

#endif
