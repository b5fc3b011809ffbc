// The Waveform region: the chosen pins over the last stretch of chip time,
// drawn from the level changes that the worker reports while the chip runs.
// Only the changes inside the window are kept, so a pin that toggles a
// million times costs no more than the window shows.
const PORTS = ['RA', 'RB', 'RC', 'RD', 'RE'];

export class WaveformView {
  constructor(canvas, pinsText) {
    this.canvas = canvas;
    this.pinsText = pinsText;
    this.reset(null);
  }

  reset(state) {
    this.perSecond = state ? state.cyclesPerSecond : 50e6;
    this.now = state ? state.cycle : 0;
    this.changes = PORTS.map(() => []); // per port: [cycle, levels]
    this.start = PORTS.map(() => 0); // levels before the first kept change
    this.dropped = 0;
    this.unknownUntil = -1; // changes before this cycle were too many to keep
    this.draw();
  }

  // The span shown, in cycles: the select's seconds at the chip's clock.
  span() {
    const select = document.getElementById('waveform-span');
    return Math.max(1, Number(select ? select.value : 0.01) * this.perSecond);
  }

  add(wave, state) {
    if (state && state.ready) this.now = state.cycle;
    if (wave) {
      this.dropped += wave.dropped;
      // Changes were dropped before the first one given: the levels before
      // it are not known, and the lists start again from there.
      if (wave.dropped && wave.changes.length) {
        this.unknownUntil = wave.changes[0][0];
        this.changes = PORTS.map(() => []);
      }
      for (const [cycle, port, levels] of wave.changes) this.changes[port].push([cycle, levels]);
    }
    const oldest = this.now - this.span();
    this.changes.forEach((list, port) => {
      let cut = 0;
      while (cut + 1 < list.length && list[cut + 1][0] <= oldest) cut++;
      if (cut > 0) {
        this.start[port] = list[cut - 1][1];
        list.splice(0, cut);
      }
    });
    this.draw();
  }

  pins() {
    return this.pinsText()
      .split(/[\s,]+/)
      .map((p) => /^(R[A-E])\.([0-7])$/i.exec(p.trim()))
      .filter(Boolean)
      .map((m) => ({ name: `${m[1].toUpperCase()}.${m[2]}`, port: PORTS.indexOf(m[1].toUpperCase()), bit: Number(m[2]) }));
  }

  draw() {
    const canvas = this.canvas;
    const pins = this.pins();
    const rowHeight = 28;
    const ratio = window.devicePixelRatio || 1;
    const width = canvas.clientWidth || 600;
    const height = Math.max(rowHeight, pins.length * rowHeight);
    canvas.style.height = `${height}px`;
    canvas.width = width * ratio;
    canvas.height = height * ratio;
    const g = canvas.getContext('2d');
    g.scale(ratio, ratio);
    g.clearRect(0, 0, width, height);
    g.font = '12px monospace';
    const left = 48;
    const span = this.span();
    const from = this.now - span;
    const x = (cycle) => left + ((cycle - from) / span) * (width - left - 4);
    if (this.unknownUntil > from) {
      // Too many changes to show: the stretch is shaded, not drawn flat.
      g.fillStyle = '#e4e4e4';
      g.fillRect(left, 0, x(this.unknownUntil) - left, height);
      g.fillStyle = '#777';
      g.fillText('too many changes to draw', left + 4, height - 4);
    }
    pins.forEach((pin, row) => {
      const top = row * rowHeight + 6;
      const high = top, low = top + rowHeight - 12;
      g.fillStyle = '#333';
      g.fillText(pin.name, 2, top + 12);
      g.strokeStyle = '#0a7d2c';
      g.lineWidth = 1.5;
      g.beginPath();
      const list = this.changes[pin.port] || [];
      let level = (this.start[pin.port] >> pin.bit) & 1;
      let at = x(Math.max(from, this.unknownUntil));
      g.moveTo(at, level ? high : low);
      for (const [cycle, levels] of list) {
        const next = (levels >> pin.bit) & 1;
        if (cycle < from) {
          level = next;
          continue;
        }
        const cx = x(cycle);
        g.lineTo(cx, level ? high : low);
        g.lineTo(cx, next ? high : low);
        level = next;
      }
      g.lineTo(x(this.now), level ? high : low);
      g.stroke();
    });
    canvas.setAttribute('aria-label', `Waveform of ${pins.map((p) => p.name).join(', ') || 'no pins'} over the last ${(span / this.perSecond) * 1000} ms`);
  }
}
