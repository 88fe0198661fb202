// The audio thread: plays the blocks the render worker sends, in order.
// It tells the worker what it has used up (so the worker keeps it fed) and
// tells the page the AudioContext time at which each block starts (so the
// page shows the states of what is heard). Pausing stops at the next
// render quantum and keeps the queue. After a flush (a new song, a seek)
// it starts only once PRIME frames are queued (or the stream has ended),
// so a slow first render cannot cut a gap in the music. Running dry mid-
// stream (an underrun: the render thread fell behind) is counted, told to
// the worker (which then keeps more queued) and primed again with twice as
// much (up to a second), so a slow machine hears a pause or two rather than
// a stutter.
const PRIME = 3072;

class VelkOutput extends AudioWorkletProcessor {
    constructor() {
        super();
        this.queue = [];
        this.offset = 0;
        this.generation = 0;
        this.paused = false;
        this.priming = true;
        this.queued = 0;
        this.ended = false;
        this.underruns = 0;
        this.underrunFrames = 0;
        this.underrunTimes = [];   // the context's times of the first few
        this.prime = PRIME;
        this.worker = null;
        this.port.onmessage = (e) => {
            const m = e.data;
            if (m.type === 'worker-port') {
                this.worker = m.port;
                this.worker.onmessage = (w) => this.fromWorker(w.data);
            } else if (m.type === 'pause') {
                this.paused = m.paused;
            } else if (m.type === 'underruns') {
                this.port.postMessage({ type: 'underruns', count: this.underruns, frames: this.underrunFrames, times: this.underrunTimes });
            }
        };
    }

    fromWorker(m) {
        if (m.type === 'flush') {
            this.generation = m.generation;
            this.queue = [];
            this.offset = 0;
            this.queued = 0;
            this.priming = true;
            this.ended = false;
        } else if (m.type === 'block' && m.generation === this.generation) {
            this.queue.push(m);
            this.queued += m.left.length;
            if (this.queued >= this.prime) this.priming = false;
        } else if (m.type === 'end' && m.generation === this.generation) {
            this.priming = false;  // a song shorter than PRIME
            this.ended = true;
        }
    }

    process(inputs, outputs) {
        const out = outputs[0];
        const left = out[0], right = out[1] || out[0];
        if (this.paused || this.priming) return true;
        let i = 0;
        while (i < left.length && this.queue.length) {
            const block = this.queue[0];
            if (this.offset === 0) {
                this.port.postMessage({ type: 'started', serial: block.serial, time: currentTime + i / sampleRate });
            }
            const n = Math.min(left.length - i, block.left.length - this.offset);
            left.set(block.left.subarray(this.offset, this.offset + n), i);
            right.set(block.right.subarray(this.offset, this.offset + n), i);
            i += n;
            this.offset += n;
            if (this.offset === block.left.length) {
                this.queue.shift();
                this.queued -= block.left.length;
                this.offset = 0;
                this.worker.postMessage({ type: 'consumed', generation: block.generation, frames: block.left.length });
            }
        }
        if (i < left.length && !this.ended) {
            this.underruns++;
            this.underrunFrames += left.length - i;
            if (this.underrunTimes.length < 20) this.underrunTimes.push(currentTime);
            this.priming = true;
            this.prime = Math.min(this.prime * 2, sampleRate);
            this.worker.postMessage({ type: 'underrun', generation: this.generation });
        }
        return true;
    }
}
registerProcessor('velk-output', VelkOutput);

// What reaches the speakers, copied to the page (tests and the level check):
// it passes its input on unchanged.
class VelkTap extends AudioWorkletProcessor {
    constructor() {
        super();
        this.recording = false;
        this.chunks = [[], []];
        this.port.onmessage = (e) => {
            if (e.data.type === 'record') {
                this.recording = e.data.on;
                if (!this.recording) {
                    this.port.postMessage({ type: 'recorded', left: this.chunks[0], right: this.chunks[1] });
                    this.chunks = [[], []];
                }
            }
        };
    }
    process(inputs, outputs) {
        const input = inputs[0], out = outputs[0];
        for (let c = 0; c < out.length; c++) {
            const src = input[c] || input[0];
            if (src) out[c].set(src);
        }
        if (this.recording && input.length) {
            this.chunks[0].push(new Float32Array(input[0]));
            this.chunks[1].push(new Float32Array(input[1] || input[0]));
        }
        return true;
    }
}
registerProcessor('velk-tap', VelkTap);
