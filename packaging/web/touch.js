// The game's buttons for a phone, shown once a finger has been seen: the
// left thumb steers (and chooses the difficulty on the title), the right
// holds to swing and lets go to slingshot (and starts from the title), and
// the corner leaves a game. A finger held anywhere on the picture holds too.
Module.cglTouchKeys = [
  { code: 'ArrowLeft', label: '◀', place: 'left', name: 'Steer left' },
  { code: 'ArrowRight', label: '▶', place: 'left', name: 'Steer right' },
  { code: 'Space', label: 'HOLD', place: 'right', name: 'Hold to swing' },
  { code: 'Escape', label: '✕', place: 'corner', name: 'Leave' }
];
