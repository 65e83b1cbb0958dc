/* SPDX-License-Identifier: BSD-2-Clause
 * Copyright (c) 2026 The aacd authors */
/* Guest instruction counter for qemu user emulation (plugin API v1, qemu 7.2).
 * Build:  cc -shared -fPIC -O2 -o insn_count.so insn_count.c
 * Use:    qemu-aarch64 -plugin ./insn_count.so[,tbout=FILE] -d plugin -D LOG prog
 * Prints "insns N" at exit (through qemu's log: -d plugin, -D file).
 * With tbout=FILE it also writes one line per translated block start
 * address: "vaddr_hex n_insns exec_count" (for a per-symbol breakdown). */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef uint64_t qemu_plugin_id_t;
typedef struct { const char *target_name; struct { int min, cur; } version;
                 _Bool system_emulation; int smp_vcpus, max_vcpus; } qemu_info_t;
struct qemu_plugin_tb;
enum qemu_plugin_op { QEMU_PLUGIN_INLINE_ADD_U64 };
void qemu_plugin_register_vcpu_tb_trans_cb(qemu_plugin_id_t, void (*)(qemu_plugin_id_t, struct qemu_plugin_tb *));
void qemu_plugin_register_vcpu_tb_exec_inline(struct qemu_plugin_tb *, enum qemu_plugin_op, void *, uint64_t);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb *);
uint64_t qemu_plugin_tb_vaddr(const struct qemu_plugin_tb *);
void qemu_plugin_register_atexit_cb(qemu_plugin_id_t, void (*)(qemu_plugin_id_t, void *), void *);
void qemu_plugin_outs(const char *);

__attribute__((visibility("default"))) int qemu_plugin_version = 1;

static uint64_t total;                       /* executed guest instructions */
struct tbrec { uint64_t vaddr, n, execs; };  /* one per (start address, size) */
#define TBCAP (1u << 21)
static struct tbrec *tbs;                    /* open-addressing table, only with tbout= */
static const char *tbout;

static struct tbrec *lookup(uint64_t vaddr, uint64_t n)
{
    uint64_t h = (vaddr ^ (n << 48)) * 0x9E3779B97F4A7C15ull;
    for (uint32_t i = (uint32_t)(h >> 43);; i = (i + 1) & (TBCAP - 1)) {
        struct tbrec *r = &tbs[i];
        if (r->n == 0) { r->vaddr = vaddr; r->n = n; return r; }
        if (r->vaddr == vaddr && r->n == n) return r;
    }
}

static void on_trans(qemu_plugin_id_t id, struct qemu_plugin_tb *tb)
{
    (void)id;
    uint64_t n = qemu_plugin_tb_n_insns(tb);
    qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64, &total, n);
    if (tbs)
        qemu_plugin_register_vcpu_tb_exec_inline(tb, QEMU_PLUGIN_INLINE_ADD_U64,
                                                 &lookup(qemu_plugin_tb_vaddr(tb), n)->execs, 1);
}

static void on_exit_(qemu_plugin_id_t id, void *p)
{
    (void)id; (void)p;
    char line[64];
    snprintf(line, sizeof line, "insns %llu\n", (unsigned long long)total);
    qemu_plugin_outs(line);
    if (tbs) {
        FILE *f = fopen(tbout, "w");
        for (uint32_t i = 0; f && i < TBCAP; i++)
            if (tbs[i].execs)
                fprintf(f, "%llx %llu %llu\n", (unsigned long long)tbs[i].vaddr,
                        (unsigned long long)tbs[i].n, (unsigned long long)tbs[i].execs);
        if (f) fclose(f);
    }
}

__attribute__((visibility("default")))
int qemu_plugin_install(qemu_plugin_id_t id, const qemu_info_t *info, int argc, char **argv)
{
    (void)info;
    for (int i = 0; i < argc; i++)
        if (strncmp(argv[i], "tbout=", 6) == 0) tbout = argv[i] + 6;
    if (tbout && !(tbs = calloc(TBCAP, sizeof *tbs))) return 1;
    qemu_plugin_register_vcpu_tb_trans_cb(id, on_trans);
    qemu_plugin_register_atexit_cb(id, on_exit_, NULL);
    return 0;
}
