'use strict';
// The operator's console: draws what the gateway pushes over /console/live and posts the
// operator's actions. The token is kept in this browser; /console#token=... brings one, so a
// bookmark opens the console ready (a fragment never reaches the server or its logs). Nothing is
// fetched from elsewhere.
(function () {
  const $ = (id) => document.getElementById(id);
  const SilentAfter = 10000;
  let socket = null;
  let state = null;
  let offset = 0;          // gateway clock minus browser clock, from the last message
  let heardAt = 0;         // browser time of the last message
  let gatewayHistory = null;
  let deviceHistory = null;
  let chartPort = '';
  const logLines = [];
  const MaxLog = 1000;
  const selected = new Set();

  const gatewayNow = () => Date.now() + offset;
  const TokenKey = 'velmoraToken';
  const token = () => localStorage.getItem(TokenKey);
  (function tokenFromAddress() {
    const given = new URLSearchParams(location.hash.slice(1)).get('token');
    if (given) localStorage.setItem(TokenKey, given.trim());
  })();

  function el(tag, text, cls) {
    const e = document.createElement(tag);
    if (text !== undefined && text !== null) e.textContent = text;
    if (cls) e.className = cls;
    return e;
  }
  const dash = (v) => (v === null || v === undefined || v === '' ? '-' : String(v));
  const pad = (n) => String(n).padStart(2, '0');
  function clock(ms) {
    if (!ms) return '-';
    const d = new Date(ms);
    return `${d.getFullYear()}-${pad(d.getMonth() + 1)}-${pad(d.getDate())} ${pad(d.getHours())}:${pad(d.getMinutes())}:${pad(d.getSeconds())}`;
  }
  function span(seconds) {
    if (seconds === null || seconds === undefined || seconds < 0) return '-';
    seconds = Math.floor(seconds);
    if (seconds < 60) return `${seconds}秒`;
    if (seconds < 3600) return `${Math.floor(seconds / 60)}分${seconds % 60}秒`;
    if (seconds < 86400) return `${Math.floor(seconds / 3600)}小时${Math.floor(seconds % 3600 / 60)}分`;
    return `${Math.floor(seconds / 86400)}天${Math.floor(seconds % 86400 / 3600)}小时`;
  }
  const age = (ms) => (ms ? span((gatewayNow() - ms) / 1000) : '-');

  // ---- the live channel ----
  function connect() {
    if (!token()) {
      say('需要令牌才能查看：请在“操作”中填写令牌（任何角色均可查看）', true);
      return;
    }
    const scheme = location.protocol === 'https:' ? 'wss:' : 'ws:';
    socket = new WebSocket(`${scheme}//${location.host}/console/live`);
    socket.binaryType = 'arraybuffer';
    const decoder = new TextDecoder();
    socket.onopen = () => {
      socket.send(JSON.stringify({ token: token() }));
      if (chartPort) socket.send(JSON.stringify({ history: { port: chartPort } }));
    };
    socket.onmessage = (event) => {
      const text = typeof event.data === 'string' ? event.data : decoder.decode(event.data);
      receive(JSON.parse(text));
    };
    const mine = socket;
    socket.onclose = (event) => {
      if (socket !== mine) return;
      socket = null;
      // The gateway tells nothing without a valid token; a wrong one is not tried again.
      if (event.code === 1008 && /token/.test(event.reason)) {
        say('令牌无效：请在“操作”中填写令牌（任何角色均可查看）', true);
        return;
      }
      setTimeout(connect, 2000);
    };
  }

  function reconnectNow() {
    const old = socket;
    socket = null;
    if (old) old.close();
    connect();
  }

  function receive(m) {
    heardAt = Date.now();
    offset = m.now - heardAt;
    if (m.type === 'state') { state = m; drawState(); }
    else if (m.type === 'log') addLog(m.lines, m.reset);
    else if (m.type === 'history') {
      if (m.port) { if (m.port === chartPort) deviceHistory = m; } else gatewayHistory = m;
      drawCharts();
    } else if (m.type === 'test') {
      say(m.result === 'sent' ? `测试短信 SysNo ${m.id} 已发送到 ${m.number}`
        : `测试短信 SysNo ${m.id} 发送失败：${m.reason}`, m.result !== 'sent');
    } else if (m.type === 'recheck') {
      const pre = $('recheck');
      pre.hidden = false;
      pre.textContent = `Com${m.port} 重新检测:\n` + m.lines.join('\n');
    }
    drawHeard();
  }

  function drawHeard() {
    const silent = !heardAt || Date.now() - heardAt > SilentAfter;
    document.body.classList.toggle('silent', silent);
    $('silent').hidden = !silent || !heardAt;
    $('heard').textContent = heardAt
      ? `最后收到网关消息：${clock(heardAt)}（${span((Date.now() - heardAt) / 1000)}前）`
      : '尚未收到网关消息';
    if (state) drawAges();
  }

  // ---- the state ----
  function drawState() {
    const s = state;
    // One glance: how many devices can send of how many, green only when all can; red when
    // nothing can be sent, as /healthz says.
    const service = $('service');
    const health = s.health || (s.running ? 'ok' : 'stopped');
    const count = `${s.devicesSendable}/${s.devices.length}台设备可发送`;
    service.textContent = !s.running ? '服务已停止'
      : health === 'down' ? '无法发送：' + (s.cannotSend || count)
        : '服务运行中：' + count;
    service.className = 'badge ' + health;
    document.title = (health === 'ok' ? '' : '⚠ ') + 'Velmora 短信网关 控制台';
    const db = $('database');
    db.textContent = s.databaseUp ? '已连接' : '未连接' + (s.databaseReason ? '：' + s.databaseReason : '');
    db.title = s.databaseVersion || '';
    if (s.databaseUp && s.databaseVersion) db.textContent += `（${s.databaseVersion}）`;
    db.className = s.databaseUp ? '' : 'bad';
    $('version').textContent = s.version;
    $('lastpoll').textContent = clock(s.lastPoll);
    $('loaded').textContent = s.queueLength;
    $('spool').textContent = s.spool;
    $('spool').className = s.spool > 0 ? 'bad' : '';
    $('outbox').textContent = s.webhooks && s.webhooks.outbox !== undefined ? s.webhooks.outbox : '-';
    $('devicesup').textContent = `${s.devicesUp} / ${s.devices.length}`;
    $('smppfigure').hidden = !s.smpp;
    if (s.smpp) $('smpp').textContent = `${s.smpp.sessions}（提交${s.smpp.submits}，投递${s.smpp.delivered}，待确认${s.smpp.waiting}）`;
    drawQueue(s);
    drawDevices(s.devices);
    drawAges();
  }

  function drawAges() {
    $('uptime').textContent = state.running ? age(state.startedAt) : '-';
    for (const cell of document.querySelectorAll('[data-since]'))
      cell.textContent = `${clock(+cell.dataset.since)}（${age(+cell.dataset.since)}）`;
    for (const cell of document.querySelectorAll('[data-age]'))
      cell.textContent = age(+cell.dataset.age);
  }

  function drawQueue(s) {
    const q = s.queue || {};
    $('waiting').textContent = dash(q.waiting);
    $('handed').textContent = dash(q.handed);
    $('oldest').textContent = q.oldestWaitingSeconds === null ? '-' : span(q.oldestWaitingSeconds);
    $('failedhour').textContent = dash(q.failedLastHour);
    $('failedday').textContent = dash(q.failedLastDay);
    $('queueat').textContent = clock(q.readAt);
    $('gateways').textContent = s.sharedQueue && s.handedByGateway.length
      ? '已认领未完成:' + s.handedByGateway.map((g) => `${g.gateway}:${g.rows}`).join(', ') : '';
    const stuck = q.stuck || [];
    $('stuckcaption').textContent = `发送结果未知超过${s.stuckAfterMinutes}分钟:${s.rowsStuck === null ? '-' : s.rowsStuck}`;
    const ids = new Set(stuck.map((r) => r.id));
    for (const id of [...selected]) if (!ids.has(id)) selected.delete(id);
    const body = $('stuck').tBodies[0];
    body.replaceChildren(...stuck.map((r) => {
      const tr = el('tr');
      tr.dataset.id = r.id;
      const box = el('input');
      box.type = 'checkbox';
      box.checked = selected.has(r.id);
      box.onchange = () => { box.checked ? selected.add(r.id) : selected.delete(r.id); drawSelection(); };
      const check = el('td'); check.append(box);
      const since = el('td'); since.dataset.since = r.since;
      tr.append(check, el('td', r.id, 'num'), el('td', r.number), el('td', r.device), since);
      return tr;
    }));
    drawSelection();
  }

  function drawSelection() {
    const rows = $('stuck').tBodies[0].rows.length;
    $('requeue').disabled = selected.size === 0;
    $('requeue').textContent = selected.size ? `重新排队所选(${selected.size})` : '重新排队所选';
    $('stuckall').checked = rows > 0 && selected.size === rows;
  }

  // Bars drawn, not typed: not every font has the block glyphs.
  function bars(n) {
    const svg = svgEl('svg', { class: 'bars', viewBox: '0 0 20 12', width: 20, height: 12, role: 'img' });
    svg.append(svgEl('title', {}, `${n}/4`));
    for (let i = 0; i < 4; i++)
      svg.append(svgEl('rect', { x: i * 5, y: 9 - i * 3, width: 4, height: 3 + i * 3, class: i < n ? 'on' : 'off' }));
    return svg;
  }

  function signal(d) {
    if (d.bars === null) return el('span', '-');
    const s = el('span');
    s.append(bars(d.bars), ` ${d.dbm} dBm `);
    if (d.healthAt) {
      const when = el('small'); when.dataset.age = d.healthAt;
      s.append('(', when, '前)');
    }
    return s;
  }

  function actionButton(label, action, port, title) {
    const b = el('button', label);
    b.dataset.action = action;
    b.dataset.port = port;
    if (title) b.title = title;
    return b;
  }

  // The modem's identity; a device that is down shows what it was when last seen, marked so.
  function identityCell(value, d) {
    const td = el('td', dash(value));
    if (d.identitySeenAt && value) {
      td.className = 'remembered';
      td.title = `设备未连接，这是最后见到时的值（${clock(d.identitySeenAt)}）`;
    }
    return td;
  }

  // The last failure with its time; once the device has worked since, it reads as past.
  function reasonCell(d) {
    const td = el('td', undefined, d.reasonPast ? 'reason past' : 'reason');
    if (!d.reason) return td;
    td.append(d.reason);
    if (d.reasonAt) {
      const when = el('small'); when.dataset.age = d.reasonAt;
      td.append(el('br'), d.reasonPast ? '已恢复，发生于' : '发生于', when, '前');
      td.title = clock(d.reasonAt);
    }
    return td;
  }

  const columnNames = ['串口号', '本机号码', 'IMSI', 'IMEI', '设备型号', '状态', '失败原因', '信号',
    '网络注册', '运营商', '已发', '失败', '已收', '最近成功', '操作'];
  function drawDevices(devices) {
    const body = $('devices').tBodies[0];
    body.replaceChildren(...devices.map((d) => {
      const tr = el('tr', undefined, d.inService ? (d.trouble ? 'trouble' : '') : 'outofservice');
      tr.dataset.port = d.port;
      let stateText = d.inService ? d.state : d.state + '（已停用）';
      const unregistered = (d.link === 'idle' || d.link === 'sending') && d.registered === false;
      if (unregistered) stateText += '（未注册，不能发送）';
      if (d.restingUntil) stateText += '，休息至' + clock(d.restingUntil).slice(11, 16);
      const sig = el('td'); sig.append(signal(d));
      const last = el('td'); if (d.lastSuccess) last.dataset.since = d.lastSuccess; else last.textContent = '-';
      const ops = el('td');
      ops.append(d.inService ? actionButton('停用', 'device-out', d.port, '停止使用此设备，它的短信交给其他设备')
        : actionButton('启用', 'device-in', d.port, '恢复使用此设备'),
      actionButton('重新检测', 'recheck', d.port, '现在向模块查询 AT、SIM卡、信号、注册、运营商和型号'),
      actionButton('USSD', 'ussd', d.port, '向网络发送USSD代码，如 *100# 查询余额'),
      actionButton('图表', 'chart', d.port, '在图表中显示此设备最近一小时'));
      tr.append(el('td', 'Com' + d.port, 'port'), identityCell(d.simNumber, d), identityCell(d.imsi, d),
        identityCell(d.imei, d), identityCell(d.model, d),
        el('td', stateText, unregistered ? 'link-unregistered' : 'link-' + d.link),
        reasonCell(d), sig, el('td', d.registration), el('td', dash(d.operator) + balanceText(d)),
        el('td', d.sent, 'num'), el('td', d.failed, 'num'), el('td', d.received, 'num'), last, ops);
      // On a phone each row is a card, each cell labelled with its column.
      [...tr.cells].forEach((td, i) => { td.dataset.label = columnNames[i]; });
      return tr;
    }));
  }

  // ---- USSD and balances ----
  function balanceText(d) {
    if (d.balance === undefined) return '';
    return ` · 余额${d.balance.toFixed(2)}` + (d.balanceAt ? `（${clock(d.balanceAt).slice(5, 16)}）` : '');
  }

  // A menu that waits for a reply, by port: the next USSD of that port answers it.
  const ussdMenus = {};
  async function ussd(port) {
    const menu = ussdMenus[port];
    delete ussdMenus[port];
    const code = prompt(menu ? `Com${port} 菜单：\n${menu.text}\n\n回复：` : `Com${port} USSD 代码：`,
      menu ? '' : '*100#');
    if (!code) return;
    const token = sessionStorage.getItem('velmoraToken');
    if (!token) { say('请先填写operator令牌', true); return; }
    const headers = { 'Content-Type': 'application/json', Authorization: `Bearer ${token}` };
    const show = (text) => { const pre = $('recheck'); pre.hidden = false; pre.textContent = text; };
    try {
      const body = menu ? { code, session: menu.id } : { code };
      let reply = await fetch(`/api/v1/devices/${port}/ussd`, { method: 'POST', headers, body: JSON.stringify(body) });
      let r = await reply.json();
      if (!reply.ok) { say(r.error ? r.error.message : `失败(${reply.status})`, true); return; }
      show(`Com${port} USSD ${code}：等待网络应答……`);
      // The answer comes when the network has it; the request is read back until then.
      for (let tries = 0; r.status === 'pending' && tries < 180; ++tries) {
        await new Promise((done) => setTimeout(done, 1000));
        reply = await fetch(`/api/v1/ussd/${r.id}`, { headers });
        if (!reply.ok) break;
        r = await reply.json();
      }
      if (r.status === 'answered') {
        show(`Com${port} USSD ${code}：\n${r.text}`);
        if (r.state === 1) { ussdMenus[port] = { id: r.id, text: r.text }; say(`Com${port} 的菜单等待回复：再点 USSD 回复`); }
      } else {
        show(`Com${port} USSD ${code} 未成功：${r.error || r.status}`);
      }
    } catch (e) {
      say('无法连接网关：' + e.message, true);
    }
  }

  // ---- the log ----
  function addLog(lines, reset) {
    if (reset) logLines.length = 0;
    logLines.push(...lines);
    if (logLines.length > MaxLog) logLines.splice(0, logLines.length - MaxLog);
    drawLog();
  }

  function drawLog() {
    const box = $('log');
    const atEnd = box.scrollHeight - box.scrollTop - box.clientHeight < 20;
    const filter = $('logfilter').value.trim().toLowerCase();
    const shown = filter ? logLines.filter((l) => l.toLowerCase().includes(filter)) : logLines;
    // A received text's own line breaks stay inside its log line.
    box.replaceChildren(...shown.map((l) => el('div', l.replace(/\r?\n/g, ' ⏎ '))));
    if (atEnd) box.scrollTop = box.scrollHeight;
  }

  // ---- charts, as plain SVG ----
  const W = 600, H = 180, L = 40, R = 8, T = 8, B = 22;
  const svgNs = 'http://www.w3.org/2000/svg';
  function svgEl(tag, attrs, text) {
    const e = document.createElementNS(svgNs, tag);
    for (const k in attrs) e.setAttribute(k, attrs[k]);
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // Axis ticks at 1, 2 or 5 times a power of ten, so no two labels read alike; counts never get
  // a step below one.
  function ticks(max, counts) {
    const raw = Math.max(max, counts ? 1 : Number.MIN_VALUE) / 4;
    const magnitude = Math.pow(10, Math.floor(Math.log10(raw)));
    const step = Math.max([1, 2, 5, 10].find((f) => f * magnitude >= raw) * magnitude, counts ? 1 : 0);
    const top = Math.max(step, Math.ceil(max / step - 1e-9) * step);
    const decimals = Math.max(0, -Math.floor(Math.log10(step) + 1e-9));
    const out = [];
    for (let v = 0; v <= top + step / 2; v += step) out.push({ v, label: v.toFixed(decimals) });
    return { top, list: out };
  }

  // Draws series (arrays of numbers, null for none) over times (ms) in the svg; hovering a
  // minute shows its values.
  function lineChart(svg, times, series, counts) {
    const parts = [];
    let max = 0;
    for (const s of series) for (const v of s.values) if (v !== null && v > max) max = v;
    const axis = ticks(max, counts);
    const n = times.length;
    const x = (i) => L + (n > 1 ? (i * (W - L - R)) / (n - 1) : 0);
    const y = (v) => T + (H - T - B) * (1 - v / axis.top);
    for (const t of axis.list) {
      parts.push(svgEl('line', { x1: L, x2: W - R, y1: y(t.v), y2: y(t.v), class: 'grid' }));
      parts.push(svgEl('text', { x: 2, y: y(t.v) + 4 }, t.label));
    }
    if (n) {
      for (const i of [0, Math.floor(n / 2), n - 1])
        parts.push(svgEl('text', { x: Math.min(x(i), W - 40), y: H - 6 }, clock(times[i]).slice(11, 16)));
    }
    for (const s of series) {
      let points = '';
      s.values.forEach((v, i) => { if (v !== null && v >= 0) points += `${x(i).toFixed(1)},${y(v).toFixed(1)} `; });
      parts.push(svgEl('polyline', { points, class: s.cls }));
    }
    const slot = n > 1 ? (W - L - R) / (n - 1) : W - L - R;
    for (let i = 0; i < n; i++) {
      const hover = svgEl('rect', { x: x(i) - slot / 2, y: T, width: slot, height: H - T - B, class: 'hover' });
      const values = series.map((s) => `${s.name} ${s.values[i] === null || s.values[i] < 0 ? '-' : +s.values[i].toFixed(3)}`);
      hover.append(svgEl('title', {}, `${clock(times[i]).slice(11, 16)}  ${values.join('  ')}`));
      parts.push(hover);
    }
    if (!n) parts.push(svgEl('text', { x: W / 2 - 30, y: H / 2 }, '暂无数据'));
    svg.replaceChildren(...parts);
  }

  const tail = (a, n) => a.slice(Math.max(0, a.length - n));
  // Sums (or takes the last of) every step minutes into one point.
  function bucket(h, key, step, last) {
    const out = [];
    for (let i = 0; i < h[key].length; i += step) {
      const part = h[key].slice(i, i + step).filter((v) => v !== null && v >= 0);
      out.push(part.length ? (last ? part[part.length - 1] : part.reduce((a, b) => a + b, 0)) : null);
    }
    return out;
  }

  const seriesNames = { sent: '已发', failed: '失败', received: '已收', p50: '中位数', p90: '90%', p99: '99%' };
  function drawCharts() {
    const hour = chartPort && deviceHistory ? deviceHistory : gatewayHistory;
    $('chartdevice').textContent = chartPort ? `Com${chartPort}（点击“图表”可切换，再点一次回到全部）` : '全部设备';
    if (hour) {
      const t = tail(hour.minutes, 60);
      lineChart($('chart-hour'), t, ['sent', 'failed', 'received'].map((k) => ({ cls: k, name: seriesNames[k], values: tail(hour[k], 60) })), true);
      lineChart($('chart-time'), t, ['p50', 'p90', 'p99'].map((k) => ({ cls: k, name: seriesNames[k], values: tail(hour[k], 60) })), false);
    }
    if (gatewayHistory) {
      const h = gatewayHistory;
      const times = h.minutes.filter((_, i) => i % 10 === 0);
      lineChart($('chart-day'), times, ['sent', 'failed', 'received'].map((k) => ({ cls: k, name: seriesNames[k], values: bucket(h, k, 10, false) })), true);
      lineChart($('chart-queue'), times, [{ cls: 'queueline', name: '内存剩余', values: bucket(h, 'queue', 10, true) }], true);
    }
  }

  // ---- actions ----
  function say(text, bad) {
    const r = $('result');
    r.textContent = text;
    r.className = bad ? 'error' : '';
  }

  // A re-check's report comes over the live channel: it is asked for only once the channel is
  // open, so a report is never answered to a channel that was just being replaced.
  function liveOpen() {
    if (socket && socket.readyState === WebSocket.OPEN) return Promise.resolve(true);
    if (!socket) connect();
    return new Promise((resolve) => {
      const started = Date.now();
      const wait = setInterval(() => {
        const open = socket && socket.readyState === WebSocket.OPEN;
        if (open || Date.now() - started > 5000) { clearInterval(wait); resolve(open); }
      }, 50);
    });
  }

  async function act(action, body) {
    if (!token()) { say('请先填写operator令牌', true); return null; }
    if (action === 'recheck' && !(await liveOpen())) { say('与网关的实时连接未建立，请稍后再试', true); return null; }
    try {
      const reply = await fetch(`/console/actions/${action}`, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json', Authorization: `Bearer ${token()}` },
        body: JSON.stringify(body || {}),
      });
      const answer = await reply.json();
      if (!reply.ok) { say(answer.error ? answer.error.message : `失败(${reply.status})`, true); return null; }
      return answer;
    } catch (e) {
      say('无法连接网关：' + e.message, true);
      return null;
    }
  }

  const actionText = { start: '启动服务', stop: '停止服务', reload: '重新加载配置', 'device-out': '停用', 'device-in': '启用', recheck: '重新检测' };
  document.addEventListener('click', async (event) => {
    const b = event.target.closest('button[data-action]');
    if (!b) return;
    const action = b.dataset.action;
    if (action === 'ussd') { await ussd(b.dataset.port); return; }
    if (action === 'chart') {
      chartPort = chartPort === b.dataset.port ? '' : b.dataset.port;
      deviceHistory = null;
      if (chartPort && socket) socket.send(JSON.stringify({ history: { port: chartPort } }));
      drawCharts();
      return;
    }
    if ((action === 'stop' || action === 'device-out') && !confirm(`确定${actionText[action]}${b.dataset.port ? ' Com' + b.dataset.port : ''}？`)) return;
    const body = b.dataset.port ? { port: b.dataset.port } : {};
    if (await act(action, body))
      say(`${actionText[action]}${b.dataset.port ? ' Com' + b.dataset.port : ''}：${action === 'recheck' ? '已请求，等待模块回答…' : '已执行'}`);
  });

  $('requeue').onclick = async () => {
    const ids = [...selected];
    if (!ids.length || !confirm(`这${ids.length}条短信可能已经发出。确定重新排队？`)) return;
    const answer = await act('requeue', { ids });
    if (answer) { say(`已重新排队 ${answer.moved} 条`); selected.clear(); drawSelection(); }
  };
  $('stuckall').onchange = () => {
    const all = $('stuckall').checked;
    for (const tr of $('stuck').tBodies[0].rows) {
      const id = +tr.dataset.id;
      all ? selected.add(id) : selected.delete(id);
      tr.querySelector('input').checked = all;
    }
    drawSelection();
  };
  $('testform').onsubmit = async (event) => {
    event.preventDefault();
    const answer = await act('test', { number: $('testnumber').value, text: $('testtext').value });
    if (answer) say(`测试短信已排队，SysNo ${answer.id}，等待结果…`);
  };
  $('tokenform').onsubmit = (event) => {
    event.preventDefault();
    localStorage.setItem(TokenKey, $('token').value.trim());
    $('token').value = '';
    say('令牌已保存在本浏览器');
    // A new channel at once, not after the usual pause, so an action right after finds it.
    reconnectNow();
  };
  $('forget').onclick = () => {
    localStorage.removeItem(TokenKey);
    if (location.hash) history.replaceState(null, '', location.pathname);
    say('令牌已清除');
    if (socket) socket.close();
  };
  $('logfilter').oninput = drawLog;

  connect();
  setInterval(drawHeard, 1000);
})();
